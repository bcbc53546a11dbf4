#include "png_maker.h"

#include <zlib.h>

#include <cstdlib>

namespace devicesim {
namespace {

void AppendBe32(std::string* out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>((value >> shift) & 0xFF));
}

void AppendChunk(std::string* png, const char* type, const std::string& data) {
  AppendBe32(png, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  png->append(body);
  AppendBe32(png, static_cast<uint32_t>(
                      crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

bool ParseColor(const std::string& color, uint8_t rgb[3]) {
  if (color.size() != 7 || color[0] != '#') return false;
  for (int i = 0; i < 3; ++i) {
    char* end = nullptr;
    std::string part = color.substr(1 + 2 * i, 2);
    long value = std::strtol(part.c_str(), &end, 16);
    if (!end || *end != '\0') return false;
    rgb[i] = static_cast<uint8_t>(value);
  }
  return true;
}

}  // namespace

std::string MakeIconPng(const std::string& color, uint32_t size) {
  uint8_t rgb[3] = {0x8E, 0x8E, 0x93};
  ParseColor(color, rgb);
  std::string rows;
  rows.reserve(size * (1 + 3 * size));
  for (uint32_t y = 0; y < size; ++y) {
    rows.push_back('\0');  // filter type "none"
    for (uint32_t x = 0; x < size; ++x) rows.append(reinterpret_cast<const char*>(rgb), 3);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(rows.size()));
  std::string packed(packed_size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(rows.data()),
           static_cast<uLong>(rows.size()));
  packed.resize(packed_size);

  std::string header;
  AppendBe32(&header, size);
  AppendBe32(&header, size);
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter set, no interlace

  std::string png("\x89PNG\r\n\x1a\n", 8);
  AppendChunk(&png, "IHDR", header);
  AppendChunk(&png, "IDAT", packed);
  AppendChunk(&png, "IEND", "");
  return png;
}

}  // namespace devicesim
