#include "utility/report_data_compressor.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "utility/zeb_utility.h"

namespace {

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

std::string LogText(size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line) {
    text += "2023-06-01 10:15:" + std::to_string(line % 60) + " message " + std::to_string(line * 7919 % 100003) +
            " from +44 7700 900" + std::to_string(line % 1000) + "\n";
  }
  text.resize(size);
  return text;
}

std::string Inflated(std::string_view stream) {
  std::string back;
  EXPECT_TRUE(ZlibDecompress(stream, &back, size_t{1} << 30));
  return back;
}

TEST(ReportDataCompressor, IncompressibleDataGoInStoredBlocksThatInflateToTheSameBytes) {
  std::string data = RandomBytes(4 << 20, 1);
  ASSERT_TRUE(report_data::LooksIncompressible(data));
  std::string out;
  ASSERT_TRUE(report_data::Compress(data, &out));
  // Header, five bytes per stored block of at most 65535 bytes, and the checksum.
  EXPECT_EQ(out.size(), 2 + 5 * ((data.size() + 65534) / 65535) + data.size() + 4);
  EXPECT_TRUE(Inflated(out) == data);
}

TEST(ReportDataCompressor, StoredStreamsInflateAtBlockEdges) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{2 * 65535}, size_t{2 * 65535 + 7}}) {
    std::string data = RandomBytes(size, static_cast<uint32_t>(size));
    std::string out;
    report_data::Store(data, &out);
    EXPECT_TRUE(Inflated(out) == data) << size;
  }
}

TEST(ReportDataCompressor, CompressibleDataKeepLevelNinesRatio) {
  std::string data = LogText(4 << 20);
  EXPECT_FALSE(report_data::LooksIncompressible(data));
  std::string out, zlib9;
  ASSERT_TRUE(report_data::Compress(data, &out));
  ASSERT_TRUE(ZlibCompress(data, 9, &zlib9));
  EXPECT_LE(out.size(), zlib9.size() + zlib9.size() / 100);
  EXPECT_TRUE(Inflated(out) == data);
}

TEST(ReportDataCompressor, ACompressibleStretchAmongRandomBytesIsNotStored) {
  // A photo library's database: mostly incompressible blobs, with text in between that still pays to deflate.
  std::string data = RandomBytes(3 << 20, 2) + LogText(1 << 20);
  EXPECT_FALSE(report_data::LooksIncompressible(data));
  std::string out;
  ASSERT_TRUE(report_data::Compress(data, &out));
  EXPECT_LT(out.size(), data.size() - (data.size() / 8));
  EXPECT_TRUE(Inflated(out) == data);
}

TEST(ReportDataCompressor, SmallDataAreDeflatedWithoutASample) {
  std::string noise = RandomBytes(report_data::kSampledSize - 1, 3);
  EXPECT_FALSE(report_data::LooksIncompressible(noise));
  std::string out;
  ASSERT_TRUE(report_data::Compress(noise, &out));
  EXPECT_TRUE(Inflated(out) == noise);
  std::string message = R"({"ROWID":1,"text":"See you at 8","handle_id":3,"is_from_me":0})";
  ASSERT_TRUE(report_data::Compress(message, &out));
  EXPECT_EQ(Inflated(out), message);
}

}  // namespace
