#include "utility/report_data_compressor.h"

#include <libdeflate.h>

#include <cstdint>
#include <limits>
#include <memory>

#include "utility/zeb_utility.h"

namespace report_data {
namespace {

// Measured on 4 MiB chunks of log-like text (bench/file): libdeflate level 7 writes about 5% fewer bytes than zlib
// level 9 at three times its speed. Level 6 is twice as fast again but on some text writes 1% more than zlib level
// 9; libdeflate's levels 8 and up save little more and are as slow as zlib level 9 or slower.
constexpr int kDeflateLevel = 7;
// The sample: this many slices spread evenly over the data, compressed together at the fastest level.
constexpr size_t kSampleSlices = 16;
constexpr size_t kSliceSize = 4096;
// Stored when the sample shrinks by less than 1/200 (half a percent).
constexpr size_t kWorthwhileDivisor = 200;
constexpr size_t kStoredBlockMax = 65535;
// Up to this size (a message of a listing) zlib level 9, whose state is reset rather than sized for megabytes,
// is a little faster than libdeflate and as small (bench/file, message_*).
constexpr size_t kSmallMax = 4096;

struct CompressorFree {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};
using CompressorPtr = std::unique_ptr<libdeflate_compressor, CompressorFree>;

libdeflate_compressor* ThreadCompressor(int level) {
  thread_local CompressorPtr compressors[13];
  if (!compressors[level]) compressors[level].reset(libdeflate_alloc_compressor(level));
  return compressors[level].get();
}

void PutBigEndian32(uint32_t value, char* out) {
  out[0] = static_cast<char>(value >> 24);
  out[1] = static_cast<char>(value >> 16);
  out[2] = static_cast<char>(value >> 8);
  out[3] = static_cast<char>(value);
}

}  // namespace

void Store(std::string_view data, std::string* out) {
  size_t blocks = data.empty() ? 1 : (data.size() + kStoredBlockMax - 1) / kStoredBlockMax;
  out->resize(2 + blocks * 5 + data.size() + 4);
  char* at = out->data();
  // CMF 0x78: deflate with a 32 KiB window; FLG 0x01 makes CMF*256+FLG a multiple of 31, no dictionary.
  *at++ = 0x78;
  *at++ = 0x01;
  size_t offset = 0;
  do {
    size_t length = std::min(kStoredBlockMax, data.size() - offset);
    bool final = offset + length == data.size();
    *at++ = final ? 1 : 0;  // BFINAL, BTYPE 00 (stored); the block header's remaining bits pad to the byte
    *at++ = static_cast<char>(length & 0xff);
    *at++ = static_cast<char>(length >> 8);
    *at++ = static_cast<char>(~length & 0xff);
    *at++ = static_cast<char>((~length >> 8) & 0xff);
    data.copy(at, length, offset);
    at += length;
    offset += length;
  } while (offset < data.size());
  PutBigEndian32(libdeflate_adler32(1, data.data(), data.size()), at);
}

bool LooksIncompressible(std::string_view data) {
  if (data.size() < kSampledSize) return false;
  char sample[kSampleSlices * kSliceSize];
  size_t stride = (data.size() - kSliceSize) / (kSampleSlices - 1);
  for (size_t i = 0; i < kSampleSlices; ++i) data.copy(sample + i * kSliceSize, kSliceSize, i * stride);
  libdeflate_compressor* fastest = ThreadCompressor(1);
  if (fastest == nullptr) return false;
  // A result that does not fit in the sample's size less the saving asked for is no result.
  char packed[sizeof sample];
  size_t limit = sizeof sample - sizeof sample / kWorthwhileDivisor;
  return libdeflate_deflate_compress(fastest, sample, sizeof sample, packed, limit) == 0;
}

bool Compress(std::string_view data, std::string* out) {
  if (data.size() > std::numeric_limits<uint32_t>::max()) return false;
  if (data.size() <= kSmallMax) return ZlibCompress(data, 9, out);
  if (LooksIncompressible(data)) {
    Store(data, out);
    return true;
  }
  libdeflate_compressor* compressor = ThreadCompressor(kDeflateLevel);
  if (compressor == nullptr) return false;
  out->resize(libdeflate_zlib_compress_bound(compressor, data.size()));
  size_t written = libdeflate_zlib_compress(compressor, data.data(), data.size(), out->data(), out->size());
  if (written == 0) return false;  // cannot happen with the bound's room
  out->resize(written);
  return true;
}

}  // namespace report_data
