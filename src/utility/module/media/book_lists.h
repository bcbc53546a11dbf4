// Books and ringtones as the host lists them, gathered from the device's lists and the legacy track database.
//
//   Books.plist / Purchases.plist  array "Books" of {"Name","Artist","Genre","Path"}; the path is the list's folder
//                                  ("/Books/" or "/Books/Purchases/") + "Path". A "Path" that is not a plain
//                                  relative name ("", absolute, a ".." step, a backslash) is skipped: a device's
//                                  list never names a file outside its folder.
//   Ringtones.plist                dictionary "Ringtones" of file name -> {"Name","Total Time"}; the path is
//                                  "/iTunes_Control/Ringtones/" + the file name (a name with "/" is skipped).
// Each listed file costs one file-information request and an entry whose file the device does not have is
// dropped. The legacy books merge into the list: appended when the list is empty; otherwise one with the path of
// a listed book only gives it its size (when non-zero), and one with a new path is appended. Legacy ringtones
// follow the list's.
//
// "purchase" is "1" for a book of the purchased list and "0" for any other.
//
// Thread safety: pure functions over the callback they are given.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "iOSAPI/plist_value.h"
#include "utility/module/media/legacy_track_database.h"

namespace media {

struct Book {
  std::string path;
  std::string title;
  int64_t size = 0;
  std::string artist;
  std::string purchase;
  std::string genre;
};

struct Ringtone {
  std::string path;
  std::string title;
  int64_t size = 0;
  int32_t duration_ms = 0;
};

// The size of a device file; false when the device has no such file.
using DeviceFileSize = std::function<bool(const std::string& path, int64_t* size)>;

inline constexpr char kBooksFolder[] = "/Books/";
inline constexpr char kPurchasesFolder[] = "/Books/Purchases/";
inline constexpr char kRingtonesFolder[] = "/iTunes_Control/Ringtones/";

// True for a name from a device list that stays inside the list's folder.
bool IsPlainRelativePath(const std::string& path);

void AppendListedBooks(const PlistValue& list, const std::string& folder, bool purchased,
                       const DeviceFileSize& size_of, std::vector<Book>* books);
void AppendListedRingtones(const PlistValue& list, const DeviceFileSize& size_of, std::vector<Ringtone>* ringtones);

// Legacy tracks whose file the device has, as books and ringtones, with ":" replaced by "/" in their paths.
void SplitLegacyTracks(const std::vector<LegacyTrack>& tracks, const DeviceFileSize& size_of,
                       std::vector<Book>* books, std::vector<Ringtone>* ringtones);
void MergeLegacyBooks(const std::vector<Book>& legacy, std::vector<Book>* books);

std::string BookJson(const Book& book);
std::string RingtoneJson(const Ringtone& ringtone);

}  // namespace media
