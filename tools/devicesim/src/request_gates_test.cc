#include "request_gates.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace devicesim {
namespace {

using namespace std::chrono_literals;

Request Read(const std::string& path) { return Request{"udid", "afc", "FILE_READ", {{"Path", path}}}; }

TEST(RequestGates, HoldsMatchingRequestsAfterTheFirstFewUntilReleased) {
  RequestGates gates;
  int stall = gates.Stall({.channel = "afc", .name = "FILE_READ", .arg_key = "Path", .arg_value = "/a"}, 1);
  gates.Pass(Read("/a"));  // let through
  gates.Pass(Read("/b"));  // does not match
  std::atomic<bool> served{false};
  std::thread held([&] {
    gates.Pass(Read("/a"));
    served = true;
  });
  ASSERT_TRUE(gates.WaitHeld(stall, 1, 10s));
  EXPECT_FALSE(served);
  gates.Release(stall);
  held.join();
  EXPECT_TRUE(served);
  gates.Pass(Read("/a"));  // a released stall holds nothing more
  EXPECT_FALSE(gates.WaitHeld(stall, 2, 10ms));
}

TEST(RequestGates, ReleasingEverythingFreesEveryHeldRequest) {
  RequestGates gates;
  int first = gates.Stall({.name = "FILE_READ"}, 0);
  int second = gates.Stall({.name = "FILE_WRITE"}, 0);
  std::thread a([&] { gates.Pass(Read("/x")); });
  std::thread b([&] { gates.Pass(Request{"udid", "afc", "FILE_WRITE", {}}); });
  ASSERT_TRUE(gates.WaitHeld(first, 1, 10s));
  ASSERT_TRUE(gates.WaitHeld(second, 1, 10s));
  gates.ReleaseAll();
  a.join();
  b.join();
}

}  // namespace
}  // namespace devicesim
