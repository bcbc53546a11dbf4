// Fuzz target: the air-traffic service's stream can be any bytes; reading its framed messages, naming, parsing
// and evaluating them never crashes and never reads past the stream.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "utility/module/basicinfo/basicinfo_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t at = 0;
  basicinfo::ReadAirTrafficFigures([&](char* buffer, size_t length) {
    if (length > size - at) return false;
    std::memcpy(buffer, data + at, length);
    at += length;
    return true;
  });
  return 0;
}
