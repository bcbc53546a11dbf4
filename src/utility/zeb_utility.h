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

// MD5 of a stream of bytes, fed piece by piece, as 32 lower-case hexadecimal digits.
class Md5Stream {
 public:
  Md5Stream();
  ~Md5Stream();
  Md5Stream(const Md5Stream&) = delete;
  Md5Stream& operator=(const Md5Stream&) = delete;
  void Update(std::string_view bytes);
  // The digest of everything fed so far; the stream is used up.
  std::string Finish();

 private:
  struct evp_md_ctx_st* context_;
};

// `text` as a JSON string literal, quotes included.
std::string JsonQuote(std::string_view text);
