#include "hostlink/reassembler.h"

#include <gtest/gtest.h>

#include <vector>

namespace hostlink {
namespace {

std::vector<Packet> Drain(PacketReassembler& r) {
  std::vector<Packet> out;
  while (auto p = r.Next()) out.push_back(std::move(*p));
  return out;
}

TEST(ReassemblerTest, TwoPacketsInOneReadComeOutInOrder) {
  PacketReassembler r;
  r.Feed(EncodePacket(1, 10, 2, "first") + EncodePacket(2, 20, 1, "second"));
  std::vector<Packet> packets = Drain(r);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].header.task_id, 1u);
  EXPECT_EQ(packets[0].payload, "first");
  EXPECT_EQ(packets[1].header.packet_type, 20u);
  EXPECT_EQ(packets[1].payload, "second");
  EXPECT_EQ(r.pending_bytes(), 0u);
}

TEST(ReassemblerTest, PacketSplitIntoSingleBytesIsDeliveredOnceAtItsLastByte) {
  std::string wire = EncodePacket(9, 600, 1, "payload");
  PacketReassembler r;
  for (size_t i = 0; i + 1 < wire.size(); ++i) {
    r.Feed(wire.substr(i, 1));
    ASSERT_FALSE(r.Next()) << "delivered early at byte " << i;
  }
  r.Feed(wire.substr(wire.size() - 1));
  std::vector<Packet> packets = Drain(r);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].payload, "payload");
}

TEST(ReassemblerTest, HeartbeatsAreSkippedWhereverAPacketWouldBegin) {
  PacketReassembler r;
  // Joined before a packet, between two packets, split over two reads, and alone.
  std::string wire = std::string(kHeartbeat) + EncodePacket(1, 1, 2, "a") + std::string(kHeartbeat) +
                     EncodePacket(2, 2, 2, "b") + std::string(kHeartbeat);
  r.Feed(wire.substr(0, 3));
  r.Feed(wire.substr(3, wire.size() - 7));
  r.Feed(wire.substr(wire.size() - 4));
  r.Feed(kHeartbeat);
  std::vector<Packet> packets = Drain(r);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].payload, "a");
  EXPECT_EQ(packets[1].payload, "b");
  EXPECT_EQ(r.heartbeats(), 4u);
  EXPECT_EQ(r.discarded_bytes(), 0u);
}

TEST(ReassemblerTest, PayloadLengthGovernsEvenWhenPayloadLooksLikeAHeaderOrHeartbeat) {
  // A payload holding a heartbeat and a whole packet, cut so that a read starts with "kCommand" mid-packet.
  std::string inner = EncodePacket(99, 99, 1, "inner");
  std::string payload = std::string(kHeartbeat) + "xx" + inner;
  std::string wire = EncodePacket(1, 701, 2, payload);
  size_t cut = wire.find("kCommand", kHeaderSize);
  PacketReassembler r;
  r.Feed(wire.substr(0, cut));
  r.Feed(wire.substr(cut));
  std::vector<Packet> packets = Drain(r);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].header.task_id, 1u);
  EXPECT_EQ(packets[0].payload, payload);
  EXPECT_EQ(r.heartbeats(), 0u);
}

TEST(ReassemblerTest, EmptyPayloadPacketIsWhole) {
  PacketReassembler r;
  r.Feed(EncodePacket(0, 0, 0, ""));
  std::vector<Packet> packets = Drain(r);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_TRUE(packets[0].payload.empty());
}

TEST(ReassemblerTest, GarbageAtAPacketBoundaryIsSkippedUpToTheNextHeader) {
  PacketReassembler r;
  // "k" and a lone 0x16 in the garbage are candidates that turn out not to start a header or heartbeat.
  r.Feed(std::string("junk k \x16\x16 more", 14) + EncodePacket(3, 3, 1, "ok"));
  std::vector<Packet> packets = Drain(r);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].payload, "ok");
  EXPECT_EQ(r.discarded_bytes(), 14u);
  EXPECT_EQ(r.heartbeats(), 0u);
}

TEST(ReassemblerTest, IncompleteHeartbeatOrHeaderWaitsForMore) {
  PacketReassembler r;
  r.Feed(std::string(kHeartbeat.substr(0, 5)));
  r.Feed(std::string(kHeartbeat.substr(5)) + "kComm");
  EXPECT_EQ(r.heartbeats(), 1u);
  EXPECT_EQ(r.pending_bytes(), 5u);
  r.Feed(EncodePacket(4, 4, 1, "z").substr(5));
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.discarded_bytes(), 0u);
}

}  // namespace
}  // namespace hostlink
