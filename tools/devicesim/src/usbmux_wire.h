// The usbmuxd packet format: a 16-byte little-endian header (total length including the header, version,
// message type, tag) followed by an XML property list. Parsing and building only; no I/O.
//
// Stateless functions, safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace devicesim {

inline constexpr size_t kUsbmuxHeaderSize = 16;
inline constexpr uint32_t kUsbmuxPlistType = 8;
inline constexpr uint32_t kUsbmuxPlistVersion = 1;
// A request larger than this is not a usbmuxd message; SavePairRecord, the largest, stays far below.
inline constexpr uint32_t kUsbmuxMaxPacket = 1 << 20;

struct UsbmuxHeader {
  uint32_t length = 0;  // header included
  uint32_t version = 0;
  uint32_t message = 0;
  uint32_t tag = 0;
};

// Decodes 16 bytes. False when the length cannot hold the header or exceeds kUsbmuxMaxPacket.
bool ParseUsbmuxHeader(const unsigned char* bytes, UsbmuxHeader* header);

// A whole packet (header and XML body) of the plist type.
std::string BuildUsbmuxPacket(uint32_t tag, const std::string& xml);

// usbmuxd carries the port of Connect in network byte order inside an integer.
uint16_t PortFromWire(uint64_t wire_port);
uint64_t PortToWire(uint16_t port);

// Result numbers of the usbmuxd protocol.
inline constexpr int kUsbmuxResultOk = 0;
inline constexpr int kUsbmuxResultBadCommand = 1;
inline constexpr int kUsbmuxResultBadDevice = 2;
inline constexpr int kUsbmuxResultConnectionRefused = 3;

}  // namespace devicesim
