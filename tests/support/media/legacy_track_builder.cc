#include "support/media/legacy_track_builder.h"

#include <zlib.h>

namespace media_test {

void PutLe32(std::string* bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<char>(value >> (8 * i));
}

uint32_t GetLe32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

namespace {

std::string Head(const char* tag, uint32_t header, uint32_t third) {
  std::string bytes(header, '\0');
  bytes.replace(0, 4, tag);
  PutLe32(&bytes, 4, header);
  PutLe32(&bytes, 8, third);
  return bytes;
}

// ASCII and two-byte characters are all the tests use; each becomes one UTF-16 unit.
std::string Utf16Le(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    uint32_t code = static_cast<uint8_t>(utf8[i]);
    if ((code & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      code = ((code & 0x1F) << 6) | (static_cast<uint8_t>(utf8[++i]) & 0x3F);
    }
    out.push_back(static_cast<char>(code & 0xFF));
    out.push_back(static_cast<char>(code >> 8));
  }
  return out;
}

std::string StringRecord(uint32_t type, const std::string& text) {
  std::string utf16 = Utf16Le(text);
  std::string record = Head("mhod", 24, static_cast<uint32_t>(40 + utf16.size()));
  record.resize(40, '\0');
  PutLe32(&record, 12, type);
  PutLe32(&record, 24, 1);
  PutLe32(&record, 28, static_cast<uint32_t>(utf16.size()));
  return record + utf16;
}

std::string Track(const LegacyTrackRow& row, uint32_t id) {
  std::string records = StringRecord(1, row.title) + StringRecord(2, row.location) + StringRecord(4, row.artist) +
                        StringRecord(5, row.genre);
  std::string track = Head("mhit", 0xF4, static_cast<uint32_t>(0xF4 + records.size()));
  PutLe32(&track, 12, 4);
  PutLe32(&track, 16, id);
  PutLe32(&track, 36, row.size);
  PutLe32(&track, 40, row.length_ms);
  return track + records;
}

std::string DataSet(uint32_t type, const std::string& content) {
  std::string set = Head("mhsd", 96, static_cast<uint32_t>(96 + content.size()));
  PutLe32(&set, 12, type);
  return set + content;
}

}  // namespace

std::string BuildLegacyTrackDatabase(const std::vector<LegacyTrackRow>& tracks, bool compressed) {
  std::string list = Head("mhlt", 92, static_cast<uint32_t>(tracks.size()));
  for (size_t i = 0; i < tracks.size(); ++i) list += Track(tracks[i], static_cast<uint32_t>(100 + i));
  std::string body = DataSet(1, list) + DataSet(2, Head("mhlp", 92, 0));
  uint32_t header_length = compressed ? 0xF4 : 0x68;
  std::string stored = body;
  if (compressed) {
    uLongf size = compressBound(body.size());
    stored.assign(size, '\0');
    compress2(reinterpret_cast<Bytef*>(stored.data()), &size, reinterpret_cast<const Bytef*>(body.data()),
              body.size(), 9);
    stored.resize(size);
  }
  // The total length is the uncompressed one, as the device writes it.
  std::string header = Head("mhbd", header_length, static_cast<uint32_t>(header_length + body.size()));
  PutLe32(&header, 20, 2);
  return header + stored;
}

}  // namespace media_test
