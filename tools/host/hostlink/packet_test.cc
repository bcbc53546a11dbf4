#include "hostlink/packet.h"

#include <gtest/gtest.h>

namespace hostlink {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

TEST(PacketTest, HeaderIsMagicTailThenLittleEndianFields) {
  std::string header = EncodeHeader({0x0102030405060708ull, 0x0A0B0C0Du, 0xBEEF, 0x1122334455667788ull});
  std::string expected = "kCommand" + Bytes({1, 2, 3, 4, 5, 6}) +
                         Bytes({0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}) +  // task id
                         Bytes({0x0D, 0x0C, 0x0B, 0x0A}) +                          // packet type
                         Bytes({0xEF, 0xBE}) +                                      // code
                         Bytes({0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11});  // payload length
  EXPECT_EQ(header, expected);
  ASSERT_EQ(header.size(), kHeaderSize);

  PacketHeader decoded;
  ASSERT_TRUE(DecodeHeader(header, &decoded));
  EXPECT_EQ(decoded.task_id, 0x0102030405060708ull);
  EXPECT_EQ(decoded.packet_type, 0x0A0B0C0Du);
  EXPECT_EQ(decoded.code, 0xBEEF);
  EXPECT_EQ(decoded.payload_size, 0x1122334455667788ull);
}

TEST(PacketTest, DecodeRefusesShortInputAndWrongMagicOrTail) {
  std::string header = EncodeHeader({1, 2, 3, 4});
  PacketHeader decoded;
  EXPECT_FALSE(DecodeHeader(header.substr(0, 35), &decoded));
  std::string bad_magic = header;
  bad_magic[0] = 'K';
  EXPECT_FALSE(DecodeHeader(bad_magic, &decoded));
  std::string bad_tail = header;
  bad_tail[13] = 7;
  EXPECT_FALSE(DecodeHeader(bad_tail, &decoded));
}

TEST(PacketTest, CommandIsMarkerNulJsonNulDataWithLengthOfAll) {
  std::string packet = EncodeCommand(7, 600, R"({"info":{"task_id":"12"}})", std::string("\0\x01", 2), "3", 9);
  std::string payload = std::string("3\0", 2) + R"({"info":{"task_id":"12"}})" + std::string("\0\0\x01", 3);
  EXPECT_EQ(packet, EncodeHeader({7, 600, 9, payload.size()}) + payload);
}

TEST(PacketTest, CommandWithoutDataEndsWithTheNulAfterTheJson) {
  std::string packet = EncodeCommand(2, 15, "{}");
  EXPECT_EQ(packet.substr(kHeaderSize), std::string("1\0{}\0", 5));
  PacketHeader header;
  ASSERT_TRUE(DecodeHeader(packet, &header));
  EXPECT_EQ(header.code, 0);
  EXPECT_EQ(header.payload_size, 5u);
}

}  // namespace
}  // namespace hostlink
