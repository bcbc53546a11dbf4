#include "utility/module/erase/erase_parameters.h"

#include <zlib.h>

#include <string>

#include "utility/command_payload.h"

namespace {
constexpr size_t kMaxInflatedBytes = 1 << 20;
}

bool InflateParameterBlock(std::string_view data, rapidjson::Document* parameters) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  std::string text;
  char buffer[16384];
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof(buffer);
    status = inflate(&stream, Z_NO_FLUSH);
    text.append(buffer, sizeof(buffer) - stream.avail_out);
    if (text.size() > kMaxInflatedBytes) status = Z_MEM_ERROR;
    if (status == Z_BUF_ERROR && stream.avail_in == 0) break;  // the stream stopped before its end
  }
  inflateEnd(&stream);
  return status == Z_STREAM_END && ParseJsonObject(text, parameters);
}
