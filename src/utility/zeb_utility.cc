#include "utility/zeb_utility.h"

#include <openssl/evp.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <zlib.h>

bool ZlibCompress(std::string_view data, int level, std::string* out) {
  uLongf bound = compressBound(static_cast<uLong>(data.size()));
  out->resize(bound);
  int status = compress2(reinterpret_cast<Bytef*>(out->data()), &bound, reinterpret_cast<const Bytef*>(data.data()),
                         static_cast<uLong>(data.size()), level);
  if (status != Z_OK) {
    out->clear();
    return false;
  }
  out->resize(bound);
  return true;
}

bool ZlibDecompress(std::string_view data, std::string* out, size_t limit) {
  out->clear();
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  char chunk[65536];
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    status = inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) break;
    out->append(chunk, sizeof chunk - stream.avail_out);
    if (out->size() > limit) status = Z_MEM_ERROR;
    if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) status = Z_DATA_ERROR;  // cut short
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END) out->clear();
  return status == Z_STREAM_END;
}

std::string Md5Hex(std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0F];
  }
  return hex;
}

std::string JsonQuote(std::string_view text) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  return std::string(buffer.GetString(), buffer.GetSize());
}
