// The host link through the real process: framing edge cases, control commands and aborts.
#include <gtest/gtest.h>

#include "harness/corvane_harness.h"
#include "hostlink/packet.h"

namespace e2e {
namespace {

constexpr uint32_t kControl = 600;

std::string StopCommand(uint64_t task_id) { return R"({"info":{"task_id":")" + std::to_string(task_id) + R"("}})"; }

class HostLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(corvane_.Start());
    ASSERT_TRUE(corvane_.WaitForType(19));
  }
  CorvaneHarness corvane_;
};

TEST_F(HostLink, ControlWithUnreadableJsonIsCode21WithHeaderCode6) {
  auto result = corvane_.Run(5, kControl, "{broken");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->code, 21);
  EXPECT_EQ(result->header_code, 6);
  EXPECT_EQ(result->uuid, "");
}

TEST_F(HostLink, StopOfAnUnknownTaskStillSucceeds) {
  auto result = corvane_.Run(6, kControl, StopCommand(424242));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->code, 0);
  EXPECT_EQ(result->header_code, 1);
  EXPECT_EQ(result->text_json, R"({"stage":0,"code":0,"uuid":"","type":0})");
}

TEST_F(HostLink, TwoPacketsInOneWriteAreTwoCommands) {
  std::string both = hostlink::EncodeCommand(11, kControl, StopCommand(1)) + hostlink::EncodeCommand(12, kControl, "{x");
  ASSERT_TRUE(corvane_.host().SendRaw(both));
  auto first = corvane_.host().WaitFor(hostlink::FinalOf(11, kControl), 10s);
  auto second = corvane_.host().WaitFor(hostlink::FinalOf(12, kControl), 10s);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->code, 0);
  EXPECT_EQ(second->code, 21);
}

TEST_F(HostLink, OnePacketInManyWritesIsOneCommand) {
  std::string packet = hostlink::EncodeCommand(13, kControl, StopCommand(2));
  for (char byte : packet) {
    ASSERT_TRUE(corvane_.host().SendRaw(std::string(1, byte)));
  }
  auto result = corvane_.host().WaitFor(hostlink::FinalOf(13, kControl), 10s);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->code, 0);
}

TEST_F(HostLink, AHeartbeatJoinedToACommandIsNotPartOfIt) {
  std::string bytes = std::string(hostlink::kHeartbeat) + hostlink::EncodeCommand(14, kControl, StopCommand(3)) +
                      std::string(hostlink::kHeartbeat);
  ASSERT_TRUE(corvane_.host().SendRaw(bytes));
  auto result = corvane_.host().WaitFor(hostlink::FinalOf(14, kControl), 10s);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->code, 0);
}

TEST_F(HostLink, UnknownPacketTypesGetNoAnswer) {
  ASSERT_TRUE(corvane_.host().SendCommand(15, 4242, "{}"));
  auto result = corvane_.Run(16, kControl, StopCommand(4));
  ASSERT_TRUE(result);
  EXPECT_TRUE(corvane_.TakeReportsOf(15).empty());
}

}  // namespace
}  // namespace e2e
