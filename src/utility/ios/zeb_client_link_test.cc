// The client as the modules' link to the elevated child: one start for all the commands that arrive before the
// child, a failed or ended start that lets the next command try again, and commands run once the child is there.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "libbasic/kx_task_pool.h"
#include "platform/socket.h"
#include "utility/ios/zeb_client.h"
#include "utility/module/zeb_module.h"

namespace {

using namespace std::chrono_literals;

class RecordingModule : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(command.packet().task_id);
    seen_.notify_all();
    return ZEBCommand::kNoReport;
  }
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return seen_.wait_for(lock, 5s, [&] { return commands_.size() >= count; });
  }
  std::vector<uint64_t> commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }

 private:
  std::condition_variable seen_;
  std::vector<uint64_t> commands_;
};

bas::IPCPacket Command(uint64_t task_id) {
  bas::IPCPacket packet;
  packet.task_id = task_id;
  packet.type = 4343;
  packet.payload = std::string("1\0{}\0", 5);
  return packet;
}

TEST(ZEBClientLink, OneStartServesEveryCommandUntilTheChildArrivesOrEnds) {
  bas::KxTaskPool::Get().Activate(2);
  static RecordingModule module;
  ZEBClient& client = ZEBClient::Get();
  client.SetCommandTable({{4343, CommandEntry{&module, {}}}});
  std::vector<uint16_t> launches;
  auto launch = [&launches](uint16_t port) {
    launches.push_back(port);
    return true;
  };

  EXPECT_EQ(client.HandToChild(Command(1), [](uint16_t) { return false; }), ZEBChildLink::Handover::kLaunchFailed);
  EXPECT_EQ(client.HandToChild(Command(2), launch), ZEBChildLink::Handover::kQueued);
  EXPECT_EQ(client.HandToChild(Command(3), launch), ZEBChildLink::Handover::kQueued);
  ASSERT_EQ(launches.size(), 1u);
  ASSERT_NE(launches[0], 0);

  // The start came to nothing: the waiting commands are handed back, and the next command starts anew.
  std::deque<bas::IPCPacket> waiting = client.ChildEnded();
  ASSERT_EQ(waiting.size(), 2u);
  EXPECT_EQ(waiting[0].task_id, 2u);
  EXPECT_EQ(waiting[1].task_id, 3u);
  EXPECT_EQ(client.HandToChild(Command(4), launch), ZEBChildLink::Handover::kQueued);
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[1], launches[0]);  // the same listener

  platform::SocketHandle child = platform::ConnectLoopback(launches[0]);
  ASSERT_NE(child, platform::kInvalidSocket);
  ASSERT_TRUE(module.WaitFor(1));
  EXPECT_EQ(module.commands(), std::vector<uint64_t>{4});
  EXPECT_EQ(client.HandToChild(Command(5), launch), ZEBChildLink::Handover::kChildConnected);
  EXPECT_EQ(launches.size(), 2u);
  EXPECT_TRUE(client.ChildEnded().empty());
  EXPECT_EQ(client.RelayToHost(Command(6)), 1);  // no host connection in this test
  platform::CloseSocket(child);
  // The workers log while tasks end: they must be gone before the process tears the logging down.
  client.Stop();
  bas::KxTaskPool::Get().Stop();
}

}  // namespace
