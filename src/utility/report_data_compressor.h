// The compressor of a type 0 report's data: one zlib stream (RFC 1950) that the host inflates to the same bytes.
//
// Data that compress are deflated with libdeflate at a level whose output stays within 1% of zlib level 9
// (usually below it) at several times its speed. Data that do not compress (photos, films, archives: most of what
// a device holds) are recognised from a sample and written as stored blocks, which costs a copy and a checksum
// instead of a futile search for matches. Small data (a message of a listing) go through zlib level 9 as before:
// there it is as fast as libdeflate and as small.
//
// Thread safety: may be called from any thread; each thread keeps its own compressor state.
#pragma once

#include <string>
#include <string_view>

namespace report_data {

// Data of at least this many bytes are sampled before they are deflated.
inline constexpr size_t kSampledSize = 256 * 1024;

// Writes `data` as one zlib stream into `*out` (replacing what it held). False only when the compressor cannot
// be had (out of memory) or the data are beyond 4 GiB.
bool Compress(std::string_view data, std::string* out);

// Writes `data` as one zlib stream of stored (uncompressed) blocks: what Compress makes of data that do not
// compress. Also used to measure that path on its own.
void Store(std::string_view data, std::string* out);

// True when a sample of `data` shows that deflating would save less than half a percent.
bool LooksIncompressible(std::string_view data);

}  // namespace report_data
