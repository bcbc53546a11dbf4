// The packets of the host link: the 36-byte header, the heartbeat, and one packet in memory.
//
// Header, all fields little-endian: "kCommand" (8 bytes), the bytes 01 02 03 04 05 06, task id (u64), packet
// type (u32), code (u16), payload length (u64); the payload follows. A heartbeat is eight 0x16 bytes without a
// header.
//
// Thread safety: plain values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace bas {

struct IPCConnection;
using IPCConnectionPtr = std::shared_ptr<IPCConnection>;

inline constexpr std::string_view kPacketMagic = "kCommand";
inline constexpr size_t kPacketHeaderSize = 36;
inline constexpr char kHeartbeatByte = 0x16;
inline constexpr size_t kHeartbeatSize = 8;
inline constexpr std::string_view kHeartbeat = "\x16\x16\x16\x16\x16\x16\x16\x16";
// A header that claims more than this is not taken for a packet: the host's largest packets are 4 MiB blocks,
// and waiting for (or buffering) a larger claim would let any local peer stall the connection or take memory.
inline constexpr uint64_t kMaxPacketPayload = uint64_t{128} << 20;

struct IPCPacketHeader {
  uint64_t task_id = 0;
  uint32_t type = 0;
  uint16_t code = 0;
  uint64_t length = 0;
};

void EncodePacketHeader(const IPCPacketHeader& header, char out[kPacketHeaderSize]);
// False when the bytes do not begin with the magic.
bool DecodePacketHeader(const char in[kPacketHeaderSize], IPCPacketHeader* header);

// One packet in memory. The payload string is empty when the packet has none (it always ends in a NUL in memory,
// so C-string readers of a text payload stop there). An end-of-connection record has every field zero and only
// its connection set.
struct IPCPacket {
  uint64_t task_id = 0;
  uint16_t code = 0;
  uint32_t type = 0;
  std::string payload;
  IPCConnectionPtr connection;

  bool IsEndOfConnection() const { return task_id == 0 && code == 0 && type == 0 && payload.empty(); }
};
using IPCPacketPtr = std::unique_ptr<IPCPacket>;

}  // namespace bas
