#include "hostlink/zlib_codec.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace hostlink {
namespace {

// zlib counts in uInt; larger inputs are fed in pieces of this size.
constexpr size_t kPiece = 1u << 30;
constexpr size_t kOutputStep = 256 * 1024;

unsigned char* BytesOf(std::string_view text) {
  return reinterpret_cast<unsigned char*>(const_cast<char*>(text.data()));
}

}  // namespace

std::string ZlibDeflate(std::string_view raw, int level) {
  z_stream stream{};
  deflateInit(&stream, level);
  std::string out;
  out.resize(deflateBound(&stream, static_cast<uLong>(std::min(raw.size(), kPiece))) + 64);
  size_t produced = 0;
  size_t consumed = 0;
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (stream.avail_in == 0 && consumed < raw.size()) {
      size_t piece = std::min(raw.size() - consumed, kPiece);
      stream.next_in = BytesOf(raw.substr(consumed, piece));
      stream.avail_in = static_cast<uInt>(piece);
      consumed += piece;
    }
    if (produced == out.size()) out.resize(out.size() + kOutputStep);
    stream.next_out = reinterpret_cast<unsigned char*>(out.data() + produced);
    stream.avail_out = static_cast<uInt>(std::min(out.size() - produced, kPiece));
    uInt room = stream.avail_out;
    status = deflate(&stream, consumed == raw.size() ? Z_FINISH : Z_NO_FLUSH);
    produced += room - stream.avail_out;
  }
  deflateEnd(&stream);
  out.resize(produced);
  return out;
}

bool ZlibInflate(std::string_view compressed, std::string* raw, std::string* error) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    *error = "inflateInit failed";
    return false;
  }
  raw->clear();
  size_t consumed = 0;
  size_t produced = 0;
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (stream.avail_in == 0 && consumed < compressed.size()) {
      size_t piece = std::min(compressed.size() - consumed, kPiece);
      stream.next_in = BytesOf(compressed.substr(consumed, piece));
      stream.avail_in = static_cast<uInt>(piece);
      consumed += piece;
    }
    if (produced == raw->size()) raw->resize(std::max(raw->size() * 2, kOutputStep));
    stream.next_out = reinterpret_cast<unsigned char*>(raw->data() + produced);
    stream.avail_out = static_cast<uInt>(std::min(raw->size() - produced, kPiece));
    uInt room = stream.avail_out;
    status = inflate(&stream, Z_NO_FLUSH);
    produced += room - stream.avail_out;
    if (status == Z_BUF_ERROR && stream.avail_in == 0 && consumed == compressed.size()) {
      *error = "zlib stream is cut short";
      break;
    }
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
      *error = std::string("zlib: ") + (stream.msg != nullptr ? stream.msg : "inflate failed");
      break;
    }
  }
  bool trailing = status == Z_STREAM_END && (stream.avail_in != 0 || consumed != compressed.size());
  if (trailing) *error = "bytes after the end of the zlib stream";
  inflateEnd(&stream);
  raw->resize(produced);
  return status == Z_STREAM_END && !trailing;
}

}  // namespace hostlink
