// The client's channel to an elevated child helper: commands queued before the child connects run when it
// arrives, packets go to the child, and the child's packets reach the module's child-packet handler.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "libbasic/kx_task_pool.h"
#include "platform/socket.h"
#include "utility/ios/zeb_client.h"
#include "utility/module/zeb_module.h"

namespace {

using namespace std::chrono_literals;

// Records what reaches it.
class RecordingModule : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override {
    Record("command " + std::to_string(command.packet().task_id));
    return ZEBCommand::kNoReport;
  }
  int OnChildPacket(const bas::IPCPacket& packet) override {
    Record("child " + std::to_string(packet.task_id) + " " + packet.payload);
    return 0;
  }
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return seen_.wait_for(lock, 5s, [&] { return calls_.size() >= count; });
  }
  std::vector<std::string> calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  void Record(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    seen_.notify_all();
  }
  std::condition_variable seen_;
  std::vector<std::string> calls_;
};

std::string Packet(uint64_t task_id, uint32_t type, const std::string& payload) {
  std::string bytes(bas::kPacketHeaderSize, '\0');
  bas::EncodePacketHeader(bas::IPCPacketHeader{task_id, type, 0, payload.size()}, bytes.data());
  return bytes + payload;
}

TEST(ZEBClientChild, QueuedCommandsRunWhenTheChildArrivesAndPacketsFlowBothWays) {
  bas::KxTaskPool::Get().Activate(2);
  static RecordingModule module;
  ZEBClient& client = ZEBClient::Get();
  client.SetCommandTable({{4242, CommandEntry{&module, {}}}});
  EXPECT_TRUE(client.IsChildChannelIdle());

  bas::IPCPacket queued;
  queued.task_id = 77;
  queued.type = 4242;
  queued.payload = std::string("1\0{}\0", 5);
  client.QueueChildCommand(queued);
  EXPECT_FALSE(client.SendToChild(queued));  // nobody there yet

  uint16_t port = 0;
  ASSERT_TRUE(client.StartChildChannel(&port));
  platform::SocketHandle child = platform::ConnectLoopback(port);
  ASSERT_NE(child, platform::kInvalidSocket);
  ASSERT_TRUE(module.WaitFor(1));
  EXPECT_EQ(module.calls()[0], "command 77");
  EXPECT_FALSE(client.IsChildChannelIdle());

  ASSERT_TRUE(client.SendToChild(queued));
  std::string expected = Packet(77, 4242, queued.payload);
  std::string received(expected.size(), '\0');
  size_t got = 0;
  while (got < received.size()) {
    long n = platform::Receive(child, received.data() + got, received.size() - got);
    ASSERT_GT(n, 0);
    got += static_cast<size_t>(n);
  }
  EXPECT_EQ(received, expected);

  std::string report = Packet(78, 4242, "from the child");
  ASSERT_TRUE(platform::SendAll(child, report.data(), report.size()));
  ASSERT_TRUE(module.WaitFor(2));
  EXPECT_EQ(module.calls()[1], "child 78 from the child");
  platform::CloseSocket(child);
  // The workers log while tasks end: they must be gone before the process tears the logging down.
  client.Stop();
  bas::KxTaskPool::Get().Stop();
}

}  // namespace
