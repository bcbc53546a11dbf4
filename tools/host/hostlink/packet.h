// Packet framing of the host link as the host sees it: the 36-byte header, whole packets, the heartbeat, and the
// command packets the host sends to Corvane.
//
// Byte strings (std::string) are used as plain byte containers throughout hostlink; they may hold NUL bytes.
// All functions are pure and safe to call from any thread.
#ifndef CORVANE_TOOLS_HOST_HOSTLINK_PACKET_H_
#define CORVANE_TOOLS_HOST_HOSTLINK_PACKET_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hostlink {

// Every packet starts with this magic followed by the six bytes 01 02 03 04 05 06.
inline constexpr std::string_view kMagic{"kCommand", 8};
inline constexpr std::string_view kMagicTail{"\x01\x02\x03\x04\x05\x06", 6};
inline constexpr size_t kHeaderSize = 36;

// Eight bytes 0x16, sent without a header by either side at any packet boundary.
inline constexpr std::string_view kHeartbeat{"\x16\x16\x16\x16\x16\x16\x16\x16", 8};

// Header codes Corvane puts on its reports.
inline constexpr uint16_t kCodeSuccess = 1;   // final report, the command succeeded
inline constexpr uint16_t kCodeProgress = 2;  // progress, data or device event; more may follow
inline constexpr uint16_t kCodeList = 3;      // final report of the driver download: the list of packages
inline constexpr uint16_t kCodeAborted = 5;   // final report, the task was aborted
inline constexpr uint16_t kCodeFailure = 6;   // final report, the command failed

// Fields of the 36-byte header. All multi-byte fields travel little-endian.
struct PacketHeader {
  uint64_t task_id = 0;
  uint32_t packet_type = 0;
  uint16_t code = 0;
  uint64_t payload_size = 0;
};

// One whole packet: its header and exactly header.payload_size payload bytes.
struct Packet {
  PacketHeader header;
  std::string payload;
};

// Returns the 36 header bytes for `header` (payload_size is written as given).
std::string EncodeHeader(const PacketHeader& header);

// Reads a header from the first 36 bytes of `bytes`. Returns false when fewer than 36 bytes are given or the magic
// and its six-byte tail are not there.
bool DecodeHeader(std::string_view bytes, PacketHeader* header);

// Returns header + payload, with the header's length field set to payload.size().
std::string EncodePacket(uint64_t task_id, uint32_t packet_type, uint16_t code, std::string_view payload);

// Returns the payload of a command: marker text, NUL, JSON text, NUL, then the data bytes (possibly none).
std::string EncodeCommandPayload(std::string_view json, std::string_view data = {}, std::string_view marker = "1");

// Returns a whole command packet (header + command payload).
std::string EncodeCommand(uint64_t task_id, uint32_t packet_type, std::string_view json, std::string_view data = {},
                          std::string_view marker = "1", uint16_t code = 0);

}  // namespace hostlink

#endif  // CORVANE_TOOLS_HOST_HOSTLINK_PACKET_H_
