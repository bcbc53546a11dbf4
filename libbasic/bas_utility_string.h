// Text helpers: UTF-8 / UTF-16 conversion and dotted version comparison.
//
// The process works in UTF-8; UTF-16 is only needed where a plug-in expects it. Malformed input never fails a
// conversion: each invalid sequence becomes U+FFFD.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace bas {

class BASUtilityString {
 public:
  static std::string ConvertUnicodeToUtf8(std::u16string_view text);
  static std::u16string ConvertUtf8ToUnicode(std::string_view text);
  // The local code page of this platform is UTF-8, so this is a validated copy.
  static std::string ConvertUtf8ToAnsi(std::string_view text);
  // Compares dotted version texts part by part as numbers ("1.10" > "1.9"; a missing part counts as 0).
  // Returns <0, 0 or >0.
  static int CompareVersion(std::string_view a, std::string_view b);
  // Bytes as lower-case hexadecimal, two digits each (the text form of digests).
  static std::string ToHex(const unsigned char* bytes, size_t length);
};

}  // namespace bas
