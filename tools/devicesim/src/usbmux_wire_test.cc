#include "usbmux_wire.h"

#include <gtest/gtest.h>

namespace devicesim {
namespace {

const unsigned char* Bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

TEST(UsbmuxWire, PacketCarriesTotalLengthVersionTypeAndTag) {
  std::string packet = BuildUsbmuxPacket(42, "<plist/>");
  ASSERT_EQ(packet.size(), 16u + 8);
  UsbmuxHeader header;
  ASSERT_TRUE(ParseUsbmuxHeader(Bytes(packet), &header));
  EXPECT_EQ(header.length, 24u);
  EXPECT_EQ(header.version, 1u);
  EXPECT_EQ(header.message, kUsbmuxPlistType);
  EXPECT_EQ(header.tag, 42u);
  EXPECT_EQ(packet.substr(16), "<plist/>");
  // Little-endian on the wire.
  EXPECT_EQ(static_cast<unsigned char>(packet[0]), 24);
  EXPECT_EQ(packet[1], 0);
}

TEST(UsbmuxWire, RejectsLengthsBelowTheHeaderOrAboveTheLimit) {
  UsbmuxHeader header;
  std::string packet = BuildUsbmuxPacket(1, "");
  packet[0] = 15;
  EXPECT_FALSE(ParseUsbmuxHeader(Bytes(packet), &header));
  packet = BuildUsbmuxPacket(1, "");
  packet[0] = 0;
  packet[1] = 0;
  packet[2] = 0x20;  // 2 MiB
  EXPECT_FALSE(ParseUsbmuxHeader(Bytes(packet), &header));
}

TEST(UsbmuxWire, PortNumberIsSwappedFromNetworkOrder) {
  EXPECT_EQ(PortFromWire(32498), 62078);
  EXPECT_EQ(PortToWire(62078), 32498u);
  EXPECT_EQ(PortFromWire(PortToWire(49153)), 49153);
}

}  // namespace
}  // namespace devicesim
