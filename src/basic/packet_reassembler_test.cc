#include "basic/packet_reassembler.h"

#include <gtest/gtest.h>

namespace bas {
namespace {

std::string Packet(uint64_t task_id, uint32_t type, uint16_t code, const std::string& payload) {
  std::string bytes(kPacketHeaderSize, '\0');
  EncodePacketHeader(IPCPacketHeader{task_id, type, code, payload.size()}, bytes.data());
  return bytes + payload;
}

struct Fed {
  std::vector<IPCPacketPtr> packets;
  PacketReassembler::Stats stats;
};

// Feeds the stream cut into pieces of `piece` bytes (0 = all at once).
Fed FeedAll(const std::string& stream, size_t piece = 0) {
  Fed fed;
  PacketReassembler reassembler;
  if (piece == 0) piece = stream.size();
  for (size_t i = 0; i < stream.size(); i += piece) {
    reassembler.Feed(stream.data() + i, std::min(piece, stream.size() - i), &fed.packets, &fed.stats);
  }
  return fed;
}

TEST(PacketHeader, LayoutIsByteExact) {
  char header[kPacketHeaderSize];
  EncodePacketHeader(IPCPacketHeader{0x0102030405060708ull, 0x11223344u, 0x5566u, 0x0A0B0C0D0E0F1011ull}, header);
  const unsigned char expected[kPacketHeaderSize] = {
      'k', 'C', 'o', 'm', 'm', 'a', 'n', 'd', 1, 2, 3, 4, 5, 6,
      0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,   // task id
      0x44, 0x33, 0x22, 0x11,                           // type
      0x66, 0x55,                                       // code
      0x11, 0x10, 0x0F, 0x0E, 0x0D, 0x0C, 0x0B, 0x0A};  // length
  EXPECT_EQ(std::string(header, kPacketHeaderSize), std::string(reinterpret_cast<const char*>(expected), 36));
  IPCPacketHeader decoded;
  ASSERT_TRUE(DecodePacketHeader(header, &decoded));
  EXPECT_EQ(decoded.task_id, 0x0102030405060708ull);
  EXPECT_EQ(decoded.type, 0x11223344u);
  EXPECT_EQ(decoded.code, 0x5566u);
  EXPECT_EQ(decoded.length, 0x0A0B0C0D0E0F1011ull);
  header[0] = 'x';
  EXPECT_FALSE(DecodePacketHeader(header, &decoded));
}

TEST(PacketReassembler, JoinedAndSplitPacketsComeOutWholeAndInOrder) {
  std::string stream = Packet(1, 600, 0, "first") + Packet(2, 601, 3, std::string(10000, 'x')) + Packet(3, 1, 0, "");
  for (size_t piece : {size_t{0}, size_t{1}, size_t{7}, size_t{36}, size_t{4096}}) {
    SCOPED_TRACE(piece);
    Fed fed = FeedAll(stream, piece);
    ASSERT_EQ(fed.packets.size(), 3u);
    EXPECT_EQ(fed.packets[0]->task_id, 1u);
    EXPECT_EQ(fed.packets[0]->type, 600u);
    EXPECT_EQ(fed.packets[0]->payload, "first");
    EXPECT_EQ(fed.packets[1]->code, 3u);
    EXPECT_EQ(fed.packets[1]->payload, std::string(10000, 'x'));
    EXPECT_TRUE(fed.packets[2]->payload.empty());  // a packet without payload has none
    EXPECT_EQ(fed.stats.skipped_bytes, 0u);
  }
}

TEST(PacketReassembler, PacketIsDeliveredOnlyWithItsLastByte) {
  std::string stream = Packet(5, 2, 0, "abcdef");
  PacketReassembler reassembler;
  std::vector<IPCPacketPtr> out;
  PacketReassembler::Stats stats;
  reassembler.Feed(stream.data(), stream.size() - 1, &out, &stats);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(reassembler.InPacket());
  reassembler.Feed(stream.data() + stream.size() - 1, 1, &out, &stats);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0]->payload, "abcdef");
}

// The length of a started packet governs: its payload may hold the magic and heartbeat bytes, even at the start
// of a read (an upload of the helper's own executable does).
TEST(PacketReassembler, MagicAndHeartbeatBytesInsideAPayloadStayPayload) {
  std::string payload = std::string("kCommand") + std::string(kHeartbeat) + Packet(9, 9, 9, "inner");
  std::string stream = Packet(7, 703, 0, payload) + Packet(8, 600, 0, "next");
  std::string first = stream.substr(0, kPacketHeaderSize);  // the next read begins with "kCommand"
  PacketReassembler reassembler;
  std::vector<IPCPacketPtr> out;
  PacketReassembler::Stats stats;
  reassembler.Feed(first.data(), first.size(), &out, &stats);
  reassembler.Feed(stream.data() + first.size(), stream.size() - first.size(), &out, &stats);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0]->payload, payload);
  EXPECT_EQ(out[1]->payload, "next");
  EXPECT_EQ(stats.heartbeats, 0u);
}

TEST(PacketReassembler, HeartbeatsAreConsumedWhereverAPacketWouldBegin) {
  std::string stream = std::string(kHeartbeat) + Packet(1, 1, 0, "a") + std::string(kHeartbeat) +
                       std::string(kHeartbeat) + Packet(2, 2, 0, "b") + std::string(kHeartbeat);
  for (size_t piece : {size_t{0}, size_t{1}, size_t{3}, size_t{8}}) {
    SCOPED_TRACE(piece);
    Fed fed = FeedAll(stream, piece);
    ASSERT_EQ(fed.packets.size(), 2u);
    EXPECT_EQ(fed.packets[0]->payload, "a");
    EXPECT_EQ(fed.packets[1]->payload, "b");
    EXPECT_EQ(fed.stats.heartbeats, 4u);
    EXPECT_EQ(fed.stats.skipped_bytes, 0u);
  }
}

TEST(PacketReassembler, GarbageAtABoundaryIsSkippedToTheNextPacket) {
  std::string stream = "junk k\x16 kComman" + Packet(4, 4, 0, "ok") + "\x16\x16trailing" + Packet(5, 5, 0, "ok2");
  for (size_t piece : {size_t{0}, size_t{1}, size_t{5}}) {
    SCOPED_TRACE(piece);
    Fed fed = FeedAll(stream, piece);
    ASSERT_EQ(fed.packets.size(), 2u);
    EXPECT_EQ(fed.packets[0]->payload, "ok");
    EXPECT_EQ(fed.packets[1]->payload, "ok2");
    EXPECT_EQ(fed.stats.skipped_bytes, 15u + 10u);
  }
}

TEST(PacketReassembler, AnAbsurdLengthIsNotTakenForAPacket) {
  std::string bogus(kPacketHeaderSize, '\0');
  EncodePacketHeader(IPCPacketHeader{1, 1, 0, kMaxPacketPayload + 1}, bogus.data());
  Fed fed = FeedAll(bogus + Packet(2, 2, 0, "real"));
  ASSERT_EQ(fed.packets.size(), 1u);
  EXPECT_EQ(fed.packets[0]->task_id, 2u);
  EXPECT_EQ(fed.stats.skipped_bytes, kPacketHeaderSize);
}

}  // namespace
}  // namespace bas
