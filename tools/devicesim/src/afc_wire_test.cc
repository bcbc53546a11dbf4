#include "afc_wire.h"

#include <gtest/gtest.h>

namespace devicesim {
namespace {

const unsigned char* Bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

TEST(AfcWire, HeaderRoundTrip) {
  std::string raw = BuildAfcHeader(kAfcData, 77, 8, 1000);
  ASSERT_EQ(raw.size(), kAfcHeaderSize);
  AfcHeader header;
  ASSERT_TRUE(ParseAfcHeader(Bytes(raw), &header));
  EXPECT_EQ(header.entire_length, 40u + 8 + 1000);
  EXPECT_EQ(header.this_length, 48u);
  EXPECT_EQ(header.packet_num, 77u);
  EXPECT_EQ(header.operation, static_cast<uint64_t>(kAfcData));
}

TEST(AfcWire, DataAnswerCountsItsBytesOutsideThisLength) {
  // Clients read the payload after this_length; counting it inside breaks large reads.
  std::string raw = BuildAfcHeader(kAfcData, 1, 0, 65536);
  AfcHeader header;
  ASSERT_TRUE(ParseAfcHeader(Bytes(raw), &header));
  EXPECT_EQ(header.this_length, kAfcHeaderSize);
  EXPECT_EQ(header.entire_length, kAfcHeaderSize + 65536);
}

TEST(AfcWire, RejectsWrongMagicAndLengthsThatDoNotNest) {
  std::string raw = BuildAfcHeader(kAfcStatus, 1, 8, 0);
  AfcHeader header;
  std::string bad_magic = raw;
  bad_magic[7] = 'X';
  EXPECT_FALSE(ParseAfcHeader(Bytes(bad_magic), &header));

  std::string short_this = std::string(kAfcMagic, 8);
  AppendLe64(&short_this, 100);  // entire
  AppendLe64(&short_this, 20);   // this below the header size
  AppendLe64(&short_this, 0);
  AppendLe64(&short_this, kAfcReadDir);
  EXPECT_FALSE(ParseAfcHeader(Bytes(short_this), &header));

  std::string entire_below_this = std::string(kAfcMagic, 8);
  AppendLe64(&entire_below_this, 50);
  AppendLe64(&entire_below_this, 60);
  AppendLe64(&entire_below_this, 0);
  AppendLe64(&entire_below_this, kAfcReadDir);
  EXPECT_FALSE(ParseAfcHeader(Bytes(entire_below_this), &header));
}

TEST(AfcWire, StringsAndKeyValues) {
  std::string fields = std::string("from\0to\0", 8);
  size_t next = 0;
  EXPECT_EQ(StringAt(fields, 0, &next), "from");
  EXPECT_EQ(StringAt(fields, next, &next), "to");
  EXPECT_EQ(StringAt(fields, next), "");
  EXPECT_EQ(StringAt("unterminated", 0), "unterminated");
  EXPECT_EQ(EncodeKeyValues({{"st_size", "5"}, {"st_ifmt", "S_IFREG"}}), std::string("st_size\0005\0st_ifmt\0S_IFREG\0", 26));
  EXPECT_EQ(EncodeStrings({".", ".."}), std::string(".\0..\0", 5));
}

TEST(AfcWire, OperationNames) {
  EXPECT_EQ(AfcOperationName(kAfcFileOpen), "FILE_OPEN");
  EXPECT_EQ(AfcOperationName(kAfcRemovePathAndContents), "REMOVE_PATH_AND_CONTENTS");
  EXPECT_EQ(AfcOperationName(0x99), "OP_0x99");
}

}  // namespace
}  // namespace devicesim
