// File helpers: sizes and hashes.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace bas {

class BASUtilityFile {
 public:
  // The size of a regular file in bytes, or -1 when it cannot be read.
  static int64_t GetFileSize(const std::string& path);
  // SHA-1 of the bytes of `text`, as 40 lower-case hexadecimal digits.
  static std::string CalcStringToSha1Hash(std::string_view text);
};

}  // namespace bas
