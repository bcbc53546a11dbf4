#include "hostlink/zlib_codec.h"

#include <zlib.h>

#include <algorithm>

namespace hostlink {
namespace {

// zlib counts in uInt; larger buffers are handed over in pieces of at most this size.
constexpr size_t kPiece = 1u << 30;
constexpr size_t kOutputStep = 256 * 1024;

// Gives the stream the next piece of `input` once it has used up the last one.
void FeedInput(z_stream* stream, std::string_view input, size_t* consumed) {
  if (stream->avail_in != 0 || *consumed == input.size()) return;
  size_t piece = std::min(input.size() - *consumed, kPiece);
  stream->next_in = reinterpret_cast<unsigned char*>(const_cast<char*>(input.data() + *consumed));
  stream->avail_in = static_cast<uInt>(piece);
  *consumed += piece;
}

// Points the stream at the free room of `out` after `produced` bytes, growing `out` when it is full (to `first`
// bytes the first time).
void ProvideOutput(z_stream* stream, std::string* out, size_t produced, size_t first = kOutputStep) {
  if (produced == out->size()) out->resize(std::max(out->size() * 2, first));
  stream->next_out = reinterpret_cast<unsigned char*>(out->data() + produced);
  stream->avail_out = static_cast<uInt>(std::min(out->size() - produced, kPiece));
}

}  // namespace

std::string ZlibDeflate(std::string_view raw, int level) {
  z_stream stream{};
  if (deflateInit(&stream, std::clamp(level, 0, 9)) != Z_OK) return {};
  std::string out;
  size_t consumed = 0;
  size_t produced = 0;
  int status = Z_OK;
  while (status == Z_OK || status == Z_BUF_ERROR) {
    FeedInput(&stream, raw, &consumed);
    ProvideOutput(&stream, &out, produced);
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
    FeedInput(&stream, compressed, &consumed);
    // Most reports are small: a first buffer near their size saves clearing a large one for each.
    ProvideOutput(&stream, raw, produced, std::min(kOutputStep, std::max<size_t>(4096, 4 * compressed.size())));
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
