#include "utility/module/app/app_zip_member.h"

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <vector>

namespace {

constexpr uint32_t kNoFit32 = 0xFFFFFFFF;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr int kMethodStored = 0;
constexpr int kMethodDeflate = 8;

uint64_t Little(const unsigned char* bytes, int count) {
  uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

struct Location {
  uint64_t compressed = 0;
  uint64_t uncompressed = 0;
  uint64_t offset = 0;
};

// The zip64 field holds, in this order, the values whose 32-bit fields are 0xFFFFFFFF: uncompressed size,
// compressed size, local header offset. This minizip leaves those fields at the marker, so the marker tells
// which are present; the offset of a member that needs this reader always is.
bool FindLocation(const unz_file_info64& entry, std::string_view extra, Location* where) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(extra.data());
  for (size_t at = 0; at + 4 <= extra.size();) {
    uint16_t id = static_cast<uint16_t>(Little(bytes + at, 2));
    size_t size = static_cast<size_t>(Little(bytes + at + 2, 2));
    if (at + 4 + size > extra.size()) return false;
    if (id == kZip64ExtraId) {
      const unsigned char* field = bytes + at + 4;
      size_t left = size;
      auto take = [&](uint64_t marker_value, uint64_t* out) {
        if (marker_value != kNoFit32) {
          *out = marker_value;
          return true;
        }
        if (left < 8) return false;
        *out = Little(field, 8);
        field += 8;
        left -= 8;
        return true;
      };
      return take(entry.uncompressed_size, &where->uncompressed) && take(entry.compressed_size, &where->compressed) &&
             take(kNoFit32, &where->offset);
    }
    at += 4 + size;
  }
  return false;
}

bool ReadAt(std::ifstream& file, uint64_t offset, size_t length, std::string* out) {
  out->resize(length);
  file.seekg(static_cast<std::streamoff>(offset));
  file.read(out->data(), static_cast<std::streamsize>(length));
  return file.good() || (file.eof() && static_cast<size_t>(file.gcount()) == length);
}

bool Inflate(const std::string& compressed, size_t expected, std::string* out) {
  out->assign(expected, '\0');
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(compressed.size());
  stream.next_out = reinterpret_cast<Bytef*>(out->data());
  stream.avail_out = static_cast<uInt>(out->size());
  int status = inflate(&stream, Z_FINISH);
  bool whole = status == Z_STREAM_END && stream.total_out == expected;
  inflateEnd(&stream);
  return whole;
}

}  // namespace

bool ReadZipMemberDirectly(const std::string& archive, const unz_file_info64& entry, std::string_view central_extra,
                           size_t limit, std::string* out) {
  Location where;
  if (!FindLocation(entry, central_extra, &where) || where.uncompressed > limit || where.compressed > limit ||
      (entry.compression_method != kMethodStored && entry.compression_method != kMethodDeflate)) {
    return false;
  }
  std::ifstream file(archive, std::ios::binary);
  std::string header;
  if (!file || !ReadAt(file, where.offset, kLocalHeaderSize, &header)) return false;
  const auto* h = reinterpret_cast<const unsigned char*>(header.data());
  if (Little(h, 4) != kLocalHeaderSignature) return false;
  uint64_t data_offset = where.offset + kLocalHeaderSize + Little(h + 26, 2) + Little(h + 28, 2);
  std::string stored;
  if (!ReadAt(file, data_offset, static_cast<size_t>(where.compressed), &stored)) return false;
  if (entry.compression_method == kMethodStored) {
    if (where.compressed != where.uncompressed) return false;
    *out = std::move(stored);
  } else if (!Inflate(stored, static_cast<size_t>(where.uncompressed), out)) {
    return false;
  }
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out->data()), static_cast<uInt>(out->size()));
  return crc == entry.crc;
}
