// The readers of voice recordings, shared by the device listing and by backup extraction.
//
// Each reader adds to one RecordingCollection and takes local files (a snapshot copy or a file taken from a
// backup) plus, where the device is asked about each file, an optional file-service connection: without one
// (a backup) every record keeps size 0 and nothing is checked.
//
//   recordings database  rows of the given SQL (duration, path, label, date); a path must contain "/Recordings/"
//                        and is taken from there on; with a device, a file that is missing or empty is skipped.
//                        19 when the copy cannot be opened, 20 when the SQL cannot be prepared.
//   asset manifest       a dictionary keyed by file name ("/Recordings/" + key), "name" as the label. The device
//                        form asks for each file (skipping empty or missing ones) and dates it by the file's
//                        modification time; the backup form reads names only. 32 when the file is empty or
//                        unreadable, 33 when it is not a property-list dictionary.
//   compositions         the folders "/Recordings/*.composition" of newer devices, each with a manifest.plist
//                        naming the composed audio file, its title and its creation date; a composition whose
//                        file is already listed only updates that record's date. 37 when "/Recordings" cannot be
//                        read. Folder names come from the device and are only used to ask the device again; a
//                        name that is not a plain entry name is skipped.
//
// Dates: a stored reference date (seconds since 2001-01-01 UTC, or nanoseconds) becomes local text; 0 means none.
// A composition's "RCSavedRecordingCreationDate" text (UTC, "YYYY-MM-DDTHH:MM:SSZ") wins over its number.
//
// Thread safety: each call uses only its own arguments; an AFC connection serialises its own requests.
#pragma once

#include <string>
#include <string_view>

#include "utility/ios/zeb_device_service.h"
#include "utility/db/recordings/recording_collection.h"

namespace recordings {

inline constexpr int kReadOk = 0;
inline constexpr int kManifestUnreadable = 32;
inline constexpr int kManifestNotPlist = 33;
inline constexpr int kRecordingsFolderUnreadable = 37;

// The device listing's query over Recordings.db.
extern const char kRecordingsSql[];

int ReadRecordingsDatabase(const std::string& local_path, std::string_view sql, int source,
                           const ZEBDeviceService* afc, RecordingCollection* result);

// Device form, on the device's file service.
int ReadAssetManifest(const std::string& local_path, const ZEBDeviceService& afc, RecordingCollection* result);
// Backup form.
int ReadAssetManifest(const std::string& local_path, RecordingCollection* result);

int ReadCompositions(const ZEBDeviceService& afc, RecordingCollection* result);

// What one composition's manifest.plist says; false when it is not a property-list dictionary or names no audio
// file under "/Recordings".
struct CompositionManifest {
  std::string path;
  std::string title;
  double creation_time = 0.0;
  std::string date;  // local date text, empty when none is known
};
bool ParseCompositionManifest(std::string_view bytes, CompositionManifest* manifest);

// The local text of a stored reference date; empty for 0.
std::string StoredDateText(double value);

}  // namespace recordings
