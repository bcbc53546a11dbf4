// Snapshots: local copies of the device's databases and lists, taken before a module reads them.
//
// The modules never query a device database in place. A snapshot copies the main device file into the device
// folder under its own name, then its companions (the -wal, -shm and journal files SQLite keeps beside it) best
// effort: a companion the device does not have leaves no local file, and a stale one from an earlier snapshot is
// not removed. On success the local path is stored in the device's record, where the queries find it.
//
// A row with two main files (the library and its locations) copies the second only when the first was copied and
// stores both paths only when both were. The two book lists store their path before the copy whatever its outcome,
// because the book commands rewrite the local list even when the device had none.
//
// Thread safety: any thread. Two snapshots of the same file must not run at once (they would write the same local
// file): each module takes its snapshots under its own lock.
#pragma once

#include <string>
#include <vector>

#include "utility/ios/zeb_device_connection.h"
#include "utility/ios/zeb_device_service.h"

enum class Snapshot {
  kMediaLibrary,
  kLibrary,
  kLegacyTrackDatabase,
  kRingtones,
  kBooks,
  kPurchasedBooks,
  kRecordingManifest,
  kRecordings,
  kPhotos,
};

struct SnapshotMainFile {
  const char* device_path;  // as the file service is given it, with doubled slashes
  SnapshotRole role;        // the record's path that names the local copy
};

struct SnapshotRow {
  std::vector<SnapshotMainFile> main_files;
  std::vector<const char*> companions;
  bool path_set_before_copy = false;
};

const SnapshotRow& SnapshotRowOf(Snapshot snapshot);

// Takes the snapshot into the device folder of `record`'s device, over `afc` (its file service); true when every
// main file was copied.
bool TakeSnapshot(ZEBDeviceConnection& record, const ZEBDeviceService& afc, Snapshot snapshot);
bool TakeSnapshot(ZEBDeviceConnection& record, const ZEBDeviceService& afc, const SnapshotRow& row);

// The last path component of a device path: the local copy's name.
std::string DeviceFileName(const std::string& device_path);
