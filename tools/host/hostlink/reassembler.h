// Turns the byte stream read from one host-link socket back into whole packets.
//
// A packet's length governs: once a header has been read, every following byte up to its stated length belongs to
// that packet, whatever those bytes look like. Only where a packet may begin are heartbeats (eight 0x16 bytes)
// recognised and skipped, also when they arrive joined to a packet in one read, and only there is anything that is
// neither a heartbeat nor a header skipped as garbage, up to the next place a header or heartbeat could start.
//
// Not thread-safe: one reassembler belongs to one reader.
#ifndef CORVANE_TOOLS_HOST_HOSTLINK_REASSEMBLER_H_
#define CORVANE_TOOLS_HOST_HOSTLINK_REASSEMBLER_H_

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "hostlink/packet.h"

namespace hostlink {

class PacketReassembler {
 public:
  // Adds bytes as they were read; every packet they complete becomes available from Next().
  void Feed(std::string_view bytes);

  // Takes the oldest complete packet, if any.
  std::optional<Packet> Next();

  uint64_t heartbeats() const { return heartbeats_; }
  // Bytes skipped because they were neither a heartbeat nor a packet header where a packet had to begin.
  uint64_t discarded_bytes() const { return discarded_bytes_; }
  // Bytes held that do not yet form a whole packet or heartbeat.
  size_t pending_bytes() const { return buffer_.size() - start_; }

 private:
  // Consumes what is at start_; returns false when more bytes are needed.
  bool ConsumeOne();

  std::string buffer_;
  size_t start_ = 0;  // bytes before start_ are consumed and dropped on the next compaction
  std::deque<Packet> ready_;
  uint64_t heartbeats_ = 0;
  uint64_t discarded_bytes_ = 0;
};

}  // namespace hostlink

#endif  // CORVANE_TOOLS_HOST_HOSTLINK_REASSEMBLER_H_
