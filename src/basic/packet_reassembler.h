// PacketReassembler: turns the byte stream of one connection into whole packets.
//
// The rules, which hold however TCP cuts or joins the stream:
//  - A packet's header fixes its length: once a header is read, every following byte belongs to that packet until
//    it is complete, whatever those bytes look like (a payload may well contain "kCommand" or heartbeat bytes).
//  - Where a packet must begin, a heartbeat (eight 0x16 bytes) is consumed and counted, also when it arrives
//    joined to the start of the next packet or split over several reads.
//  - Anything else where a packet must begin is garbage: it is skipped up to the next possible "kCommand" (or
//    heartbeat), and counted. A header whose length is beyond kMaxPacketPayload counts as garbage too.
// Payload bytes are copied once, into the packet handed out.
//
// Thread safety: one reassembler per connection, used by one thread.
#pragma once

#include <cstddef>
#include <vector>

#include "basic/ipc_packet.h"

namespace bas {

class PacketReassembler {
 public:
  struct Stats {
    size_t heartbeats = 0;
    size_t skipped_bytes = 0;
  };

  // Appends every packet completed by these bytes to `out`, in stream order.
  void Feed(const char* data, size_t length, std::vector<IPCPacketPtr>* out, Stats* stats);

  // True while a packet has been started but not completed.
  bool InPacket() const { return current_ != nullptr; }

 private:
  // Decides what the bytes gathered at a packet boundary are; returns false when more bytes are needed.
  bool ResolveBoundary(std::vector<IPCPacketPtr>* out, Stats* stats);

  std::string head_;  // bytes at a packet boundary, at most one header's worth
  IPCPacketPtr current_;
  uint64_t missing_ = 0;  // payload bytes still to come for current_
};

}  // namespace bas
