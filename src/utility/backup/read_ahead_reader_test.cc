// The read-ahead reader: small fields served from what arrived, large reads straight through, and a stream that
// fails part way.
#include "utility/backup/read_ahead_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A stream that hands out what "arrived" in pieces of `piece` bytes.
struct Stream {
  std::string bytes;
  size_t piece;
  size_t at = 0;
  int receives = 0;
  size_t Some(char* out, size_t capacity) {
    ++receives;
    size_t take = std::min({capacity, piece, bytes.size() - at});
    bytes.copy(out, take, at);
    at += take;
    return take;
  }
  bool Exact(char* out, size_t length) {
    ++receives;
    if (bytes.size() - at < length) return false;
    bytes.copy(out, length, at);
    at += length;
    return true;
  }
};

ReadAheadReader ReaderOf(Stream& stream) {
  return ReadAheadReader([&](char* out, size_t capacity) { return stream.Some(out, capacity); },
                         [&](char* out, size_t length) { return stream.Exact(out, length); });
}

TEST(ReadAheadReader, SmallFieldsComeFromOneReceiveAndLargeReadsGoStraightThrough) {
  std::string big(3 * ReadAheadReader::kBufferSize + 5, 'b');
  Stream stream{"abcdefgh" + big + "tail", 1 << 20};
  ReadAheadReader reader = ReaderOf(stream);
  char field[4];
  ASSERT_TRUE(reader.Read(field, 4));
  ASSERT_TRUE(reader.Read(field, 4));
  EXPECT_EQ(std::string(field, 4), "efgh");
  EXPECT_EQ(stream.receives, 1);
  std::string data(big.size(), '\0');
  ASSERT_TRUE(reader.Read(data.data(), data.size()));
  EXPECT_EQ(data, big);
  ASSERT_TRUE(reader.Read(field, 4));
  EXPECT_EQ(std::string(field, 4), "tail");
  EXPECT_EQ(reader.buffered(), 0u);
}

TEST(ReadAheadReader, AFieldSplitAcrossReceivesIsJoinedAndAFailedStreamFails) {
  Stream stream{"0123456789", 3};
  ReadAheadReader reader = ReaderOf(stream);
  char field[7];
  ASSERT_TRUE(reader.Read(field, 7));
  EXPECT_EQ(std::string(field, 7), "0123456");
  EXPECT_EQ(reader.buffered(), 2u);
  EXPECT_FALSE(reader.Read(field, 5));
}

}  // namespace
