#include "utility/module/media/legacy_track_database.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>

namespace media {

namespace {

constexpr size_t kRecordHead = 12;       // tag, header length, total length (or count)
constexpr size_t kCompressedHeader = 169;  // a longer database header may be followed by a compressed body
constexpr size_t kTrackFixed = 44;       // an mhit header holds the size and the length
constexpr size_t kStringFixed = 40;      // an mhod with a string: its text starts here
constexpr uint32_t kTitle = 1, kLocation = 2, kArtist = 4, kGenre = 5;

uint32_t Le32(std::string_view bytes, size_t offset) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset])) |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + 3])) << 24;
}

struct Record {
  std::string_view tag;
  uint32_t header = 0;
  uint32_t third = 0;  // total length, or the track count of a track list
};

// The record at the start of `bytes`; false when its head does not fit or its header overruns `bytes`.
bool ReadRecord(std::string_view bytes, Record* record) {
  if (bytes.size() < kRecordHead) return false;
  record->tag = bytes.substr(0, 4);
  record->header = Le32(bytes, 4);
  record->third = Le32(bytes, 8);
  return record->header >= kRecordHead && record->header <= bytes.size();
}

// A record whose total length is its third word: false when that is shorter than its header or overruns.
bool ReadSizedRecord(std::string_view bytes, Record* record) {
  return ReadRecord(bytes, record) && record->third >= record->header && record->third <= bytes.size();
}

void AppendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// UTF-16LE to UTF-8; an unpaired surrogate becomes U+FFFD, an odd last byte is dropped.
std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t unit = static_cast<uint8_t>(bytes[i]) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      uint32_t low = static_cast<uint8_t>(bytes[i + 2]) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 3])) << 8;
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &out);
        i += 2;
        continue;
      }
    }
    AppendUtf8(unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit, &out);
  }
  return out;
}

bool Fail(std::string* error, const std::string& what) {
  *error = what;
  return false;
}

// One data record of a track: its string, when it is one of the types read.
bool ReadDataRecord(std::string_view bytes, LegacyTrack* track, size_t* used, std::string* error) {
  Record record;
  if (!ReadSizedRecord(bytes, &record) || record.tag != "mhod") return Fail(error, "a track's data record is malformed");
  *used = record.third;
  if (record.third < 16) return true;  // too short to have a type: nothing to read
  uint32_t type = Le32(bytes, 12);
  if (type != kTitle && type != kLocation && type != kArtist && type != kGenre) return true;
  if (record.third < kStringFixed) return Fail(error, "a string data record is shorter than its sub-header");
  uint32_t length = Le32(bytes, 28);
  if (length > record.third - kStringFixed) return Fail(error, "a string overruns its data record");
  std::string text = Utf16LeToUtf8(bytes.substr(kStringFixed, length));
  if (type == kTitle) track->title = std::move(text);
  if (type == kLocation) track->location = std::move(text);
  if (type == kArtist) track->artist = std::move(text);
  if (type == kGenre) track->genre = std::move(text);
  return true;
}

bool ReadTrack(std::string_view bytes, LegacyTrack* track, size_t* used, std::string* error) {
  Record record;
  if (!ReadSizedRecord(bytes, &record) || record.tag != "mhit") return Fail(error, "a track record is malformed");
  if (record.header < kTrackFixed) return Fail(error, "a track header is shorter than its fields");
  track->size = Le32(bytes, 36);
  track->length_ms = Le32(bytes, 40);
  std::string_view body = bytes.substr(record.header, record.third - record.header);
  while (!body.empty()) {
    size_t taken = 0;
    if (!ReadDataRecord(body, track, &taken, error)) return false;
    body.remove_prefix(taken);
  }
  track->kind = KindOfLocation(track->location);
  *used = record.third;
  return true;
}

// A track list: its header, then as many tracks as it says, all inside `bytes` (the rest of its data set).
bool ReadTrackList(std::string_view bytes, std::vector<LegacyTrack>* tracks, std::string* error) {
  Record list;
  if (!ReadRecord(bytes, &list)) return Fail(error, "a track list is malformed");
  std::string_view rest = bytes.substr(list.header);
  for (uint32_t i = 0; i < list.third; ++i) {
    if (rest.empty()) return Fail(error, "a track list counts more tracks than its data set holds");
    LegacyTrack track;
    size_t used = 0;
    if (!ReadTrack(rest, &track, &used, error)) return false;
    tracks->push_back(std::move(track));
    rest.remove_prefix(used);
  }
  return true;
}

bool ReadDataSets(std::string_view body, std::vector<LegacyTrack>* tracks, std::string* error) {
  while (!body.empty()) {
    Record set;
    if (!ReadSizedRecord(body, &set) || set.tag != "mhsd") return Fail(error, "a data set is malformed");
    std::string_view content = body.substr(set.header, set.third - set.header);
    Record child;
    if (!content.empty() && ReadRecord(content, &child) && child.tag == "mhlt") {
      if (!ReadTrackList(content, tracks, error)) return false;
    }
    body.remove_prefix(set.third);
  }
  return true;
}

bool LooksLikeZlib(std::string_view body) {
  if (body.size() < 2) return false;
  uint8_t cmf = static_cast<uint8_t>(body[0]), flg = static_cast<uint8_t>(body[1]);
  return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && ((cmf << 8) | flg) % 31 == 0;
}

bool Inflate(std::string_view in, std::string* out, std::string* error) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return Fail(error, "zlib cannot start");
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  stream.avail_in = static_cast<uInt>(std::min<size_t>(in.size(), UINT32_MAX));
  char buffer[64 * 1024];
  int code = Z_OK;
  while (code == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof(buffer);
    code = inflate(&stream, Z_NO_FLUSH);
    out->append(buffer, sizeof(buffer) - stream.avail_out);
    if (out->size() > kMaxInflatedBytes) code = Z_MEM_ERROR;
    if (code == Z_BUF_ERROR && stream.avail_in == 0) break;  // input ended before the stream did
  }
  inflateEnd(&stream);
  if (code != Z_STREAM_END) return Fail(error, "the compressed body does not inflate");
  return true;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EndsWithNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

LegacyTrack::Kind KindOfLocation(std::string_view location) {
  if (EndsWithNoCase(location, ".pdf") || EndsWithNoCase(location, ".epub")) return LegacyTrack::Kind::kBook;
  if (EndsWithNoCase(location, ".m4r")) return LegacyTrack::Kind::kRingtone;
  if (EndsWithNoCase(location, ".mp3") || EndsWithNoCase(location, ".m4a") || EndsWithNoCase(location, ".wav")) {
    if (StartsWithNoCase(location, ":Books:")) return LegacyTrack::Kind::kBook;
    if (StartsWithNoCase(location, ":iTunes_Control:Ringtones:")) return LegacyTrack::Kind::kRingtone;
  }
  return LegacyTrack::Kind::kOther;
}

std::string DevicePathOfLocation(std::string_view location) {
  std::string path(location);
  std::replace(path.begin(), path.end(), ':', '/');
  return path;
}

bool ParseLegacyTrackDatabase(std::string_view bytes, std::vector<LegacyTrack>* tracks, std::string* error) {
  tracks->clear();
  Record header;
  if (!ReadRecord(bytes, &header) || header.tag != "mhbd") return Fail(error, "not a track database");
  std::string_view body = bytes.substr(header.header);
  // The stored total length is the file's; trailing bytes past it are not records.
  if (header.third >= header.header && header.third < bytes.size()) body = bytes.substr(header.header, header.third - header.header);
  std::string inflated;
  if (header.header > kCompressedHeader && LooksLikeZlib(body)) {
    if (!Inflate(body, &inflated, error)) return false;
    body = inflated;
  }
  if (!ReadDataSets(body, tracks, error)) {
    tracks->clear();
    return false;
  }
  return true;
}

}  // namespace media
