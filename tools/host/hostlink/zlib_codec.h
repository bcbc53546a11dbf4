// zlib stream-format compression as used by report data parts of type 0. Pure functions, safe from any thread.
#ifndef CORVANE_TOOLS_HOST_HOSTLINK_ZLIB_CODEC_H_
#define CORVANE_TOOLS_HOST_HOSTLINK_ZLIB_CODEC_H_

#include <string>
#include <string_view>

namespace hostlink {

// Returns `raw` compressed as one zlib stream (header, deflate data, Adler-32 trailer) at `level` (0-9).
std::string ZlibDeflate(std::string_view raw, int level = 9);

// Inflates one complete zlib stream. Returns false with a reason in *error when the input is not a zlib stream, is
// cut short, or has bytes after the end of the stream.
bool ZlibInflate(std::string_view compressed, std::string* raw, std::string* error);

}  // namespace hostlink

#endif  // CORVANE_TOOLS_HOST_HOSTLINK_ZLIB_CODEC_H_
