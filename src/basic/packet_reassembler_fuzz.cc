// Fuzz target: arbitrary bytes from a peer, cut into arbitrary reads, never break the reassembler: every packet
// it hands out carries exactly the payload length its header announced.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "basic/packet_reassembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte chooses the length of the reads the stream is cut into.
  size_t piece = 1 + data[0] % 64;
  const char* stream = reinterpret_cast<const char*>(data + 1);
  size_t length = size - 1;
  bas::PacketReassembler reassembler;
  std::vector<bas::IPCPacketPtr> packets;
  bas::PacketReassembler::Stats stats;
  for (size_t i = 0; i < length; i += piece) {
    reassembler.Feed(stream + i, std::min(piece, length - i), &packets, &stats);
  }
  size_t accounted = stats.skipped_bytes + stats.heartbeats * bas::kHeartbeatSize;
  for (const bas::IPCPacketPtr& packet : packets) accounted += bas::kPacketHeaderSize + packet->payload.size();
  if (accounted > length) std::abort();  // more bytes came out than went in
  return 0;
}
