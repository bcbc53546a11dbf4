// The legacy track database (iTunesCDB): the books and ringtones it knows, read from a device file, which is
// untrusted input.
//
// The file is a tree of tagged little-endian records, each "tag, header length, total length" (a track list
// "mhlt" gives its track count where others give the total length):
//   mhbd  database header; its body (the records after the header) is zlib-compressed when the header is longer
//         than 169 bytes and the body starts with a valid zlib header
//   mhsd  data set: holds a track list "mhlt", a playlist list "mhlp" or an album list "mhla"
//   mhit  track: file size at offset 36, length in ms at 40; its typed data records "mhod" follow its header
//   mhod  data record: type at 12; string types hold UTF-16LE text at 40 (after a 16-byte sub-header whose
//         second word, offset 28, is the text's byte length)
// String types read here: 1 title, 2 location (":"-separated device path), 4 artist, 5 genre.
//
// Every length is checked against the record that holds it before anything is read: a record whose header or
// total length overruns its parent, or whose header is shorter than its fixed fields, ends the parse with an
// error and no tracks. Inflating stops at kMaxInflatedBytes. Playlists and albums are skipped whole.
//
// What counts as a book or a ringtone is decided from the location's extension (compared case-insensitively):
// "pdf" and "epub" are books, "m4r" is a ringtone; "mp3", "m4a" and "wav" are books when they lie under
// ":Books:" (audiobooks) and ringtones under ":iTunes_Control:Ringtones:"; anything else is neither.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace media {

inline constexpr size_t kMaxInflatedBytes = 256u * 1024 * 1024;

struct LegacyTrack {
  enum class Kind { kOther, kBook, kRingtone };
  Kind kind = Kind::kOther;
  std::string location;  // as stored, ":"-separated
  std::string title;
  std::string artist;
  std::string genre;
  int64_t size = 0;
  uint32_t length_ms = 0;
};

// The tracks of the database in file order (every kind). False with `error` when the file is not one or a
// record is malformed.
bool ParseLegacyTrackDatabase(std::string_view bytes, std::vector<LegacyTrack>* tracks, std::string* error);

LegacyTrack::Kind KindOfLocation(std::string_view location);

// The device path of a stored location: every ":" becomes "/".
std::string DevicePathOfLocation(std::string_view location);

}  // namespace media
