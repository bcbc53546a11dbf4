#include "usbmux_wire.h"

namespace devicesim {
namespace {

uint32_t ReadLe32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void AppendLe32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

bool ParseUsbmuxHeader(const unsigned char* bytes, UsbmuxHeader* header) {
  header->length = ReadLe32(bytes);
  header->version = ReadLe32(bytes + 4);
  header->message = ReadLe32(bytes + 8);
  header->tag = ReadLe32(bytes + 12);
  return header->length >= kUsbmuxHeaderSize && header->length <= kUsbmuxMaxPacket;
}

std::string BuildUsbmuxPacket(uint32_t tag, const std::string& xml) {
  std::string packet;
  packet.reserve(kUsbmuxHeaderSize + xml.size());
  AppendLe32(&packet, static_cast<uint32_t>(kUsbmuxHeaderSize + xml.size()));
  AppendLe32(&packet, kUsbmuxPlistVersion);
  AppendLe32(&packet, kUsbmuxPlistType);
  AppendLe32(&packet, tag);
  packet += xml;
  return packet;
}

uint16_t PortFromWire(uint64_t wire_port) {
  auto port = static_cast<uint16_t>(wire_port & 0xFFFF);
  return static_cast<uint16_t>((port >> 8) | (port << 8));
}

uint64_t PortToWire(uint16_t port) { return static_cast<uint16_t>((port >> 8) | (port << 8)); }

}  // namespace devicesim
