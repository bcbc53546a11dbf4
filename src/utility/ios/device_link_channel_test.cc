// The service channel against the simulator's raw byte stream: a wait that ends at its limit leaves the stream
// usable, and a length out of bounds closes the channel for good.
#include "utility/ios/device_link_channel.h"

#include <gtest/gtest.h>

#include "support/device_layer_fixture.h"

namespace {

constexpr const char* kRawStream = "com.corvane.devicesim.stream";

// A raw-stream request: operation 1 (the device sends `count` zero bytes) or 2 (it reads `count` bytes, then
// answers with the count as 8 little-endian bytes).
std::string RawRequest(uint64_t operation, uint64_t count) {
  std::string request;
  for (uint64_t value : {operation, count}) {
    for (int i = 0; i < 8; ++i) request += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  return request;
}

class DeviceLinkChannelTest : public DeviceLayerTest {
 protected:
  std::unique_ptr<DeviceLinkChannel> OpenChannel() {
    profile_.EnableService(kRawStream);
    Attach();
    int error = 0;
    ZEBDeviceServicePtr service = StartService(*record(), kRawStream, &error);
    EXPECT_TRUE(service) << error;
    return service ? MakeServiceChannel(service) : nullptr;
  }
};

TEST_F(DeviceLinkChannelTest, AWaitEndsAtItsLimitAndAnOversizedLengthClosesTheChannel) {
  std::unique_ptr<DeviceLinkChannel> channel = OpenChannel();
  ASSERT_TRUE(channel);
  ASSERT_TRUE(channel->SendBytes(RawRequest(2, 4)));
  std::string message;
  EXPECT_EQ(channel->ReceiveMessage(&message, 100), DeviceLinkChannel::Status::kTimedOut);
  // The device now answers 04 00 00 00 ...: read as a big-endian length, 64 MiB.
  ASSERT_TRUE(channel->SendBytes("abcd"));
  EXPECT_EQ(channel->ReceiveMessage(&message, 3000), DeviceLinkChannel::Status::kClosed);
  EXPECT_FALSE(channel->SendMessage("anything"));
  EXPECT_EQ(channel->ReceiveMessage(&message, 100), DeviceLinkChannel::Status::kClosed);
}

TEST_F(DeviceLinkChannelTest, AZeroLengthClosesTheChannel) {
  std::unique_ptr<DeviceLinkChannel> channel = OpenChannel();
  ASSERT_TRUE(channel);
  ASSERT_TRUE(channel->SendBytes(RawRequest(1, 4)));
  std::string message;
  EXPECT_EQ(channel->ReceiveMessage(&message, 3000), DeviceLinkChannel::Status::kClosed);
}

}  // namespace
