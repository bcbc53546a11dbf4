// Shared helpers of the modules: zlib streams, hashes and small text conversions.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// zlib stream format (RFC 1950) at the given level; false when zlib fails.
bool ZlibCompress(std::string_view data, int level, std::string* out);
// Inflates a zlib stream; false when it is not a complete, valid one or would exceed `limit` bytes.
bool ZlibDecompress(std::string_view data, std::string* out, size_t limit = size_t{1} << 32);

// MD5 of bytes as 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view data);

// `text` as a JSON string literal, quotes included.
std::string JsonQuote(std::string_view text);
