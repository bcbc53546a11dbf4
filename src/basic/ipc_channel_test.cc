#include "basic/ipc_packet_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "platform/socket.h"

namespace bas {
namespace {

using namespace std::chrono_literals;

std::string Packet(uint64_t task_id, uint32_t type, const std::string& payload) {
  std::string bytes(kPacketHeaderSize, '\0');
  EncodePacketHeader(IPCPacketHeader{task_id, type, 0, payload.size()}, bytes.data());
  return bytes + payload;
}

// Collects what the channel delivers.
class Collector {
 public:
  void Add(IPCPacketPtr packet) {
    std::lock_guard<std::mutex> lock(mutex_);
    packets_.push_back(std::move(packet));
    cv_.notify_all();
  }
  bool WaitFor(size_t count, std::chrono::milliseconds limit = 5s) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, limit, [&] { return packets_.size() >= count; });
  }
  const IPCPacket& At(size_t i) {
    std::lock_guard<std::mutex> lock(mutex_);
    return *packets_.at(i);
  }
  size_t Size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<IPCPacketPtr> packets_;
};

// A host stand-in: listens, accepts the channel's connection, reads raw bytes.
class FakeHost {
 public:
  FakeHost() {
    std::string failed;
    port_ = static_cast<uint16_t>(platform::FindFreePort(&failed));
    listener_ = platform::ListenLoopback(port_, 4);
  }
  ~FakeHost() {
    platform::CloseSocket(peer_);
    platform::CloseSocket(listener_);
  }
  uint16_t port() const { return port_; }
  void Accept() { peer_ = platform::AcceptConnection(listener_); }
  void Write(const std::string& bytes) { ASSERT_TRUE(platform::SendAll(peer_, bytes.data(), bytes.size())); }
  void Close() {
    platform::CloseSocket(peer_);
    peer_ = platform::kInvalidSocket;
  }
  // Reads exactly `count` bytes, or what came before the time-out.
  std::string Read(size_t count, int timeout_ms = 5000) {
    std::string bytes;
    std::vector<bool> readable;
    while (bytes.size() < count && platform::WaitReadable({peer_}, -1, timeout_ms, &readable) > 0) {
      char buffer[65536];
      long n = platform::Receive(peer_, buffer, std::min(sizeof buffer, count - bytes.size()));
      if (n <= 0) break;
      bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
  }

 private:
  uint16_t port_ = 0;
  platform::SocketHandle listener_ = platform::kInvalidSocket;
  platform::SocketHandle peer_ = platform::kInvalidSocket;
};

TEST(IPCPacketChannel, DeliversPacketsInOrderAndTheEndOfTheConnection) {
  FakeHost host;
  Collector collector;
  IPCPacketChannel channel([&](IPCPacketPtr packet) { collector.Add(std::move(packet)); });
  IPCConnectionPtr connection = channel.Connect(host.port());
  ASSERT_NE(connection, nullptr);
  host.Accept();
  std::string two = Packet(1, 600, "a") + Packet(2, 601, "bb");
  host.Write(two);
  std::string split = Packet(3, 602, std::string(100000, 'z'));
  for (size_t i = 0; i < split.size(); i += 9999) host.Write(split.substr(i, 9999));
  host.Write(std::string(kHeartbeat) + Packet(4, 603, ""));  // a heartbeat joined to a packet
  host.Write(std::string(kHeartbeat));                        // a heartbeat on its own
  host.Close();
  ASSERT_TRUE(collector.WaitFor(5));
  EXPECT_EQ(collector.At(0).payload, "a");
  EXPECT_EQ(collector.At(1).payload, "bb");
  EXPECT_EQ(collector.At(2).payload.size(), 100000u);
  EXPECT_EQ(collector.At(3).task_id, 4u);
  EXPECT_TRUE(collector.At(3).payload.empty());
  EXPECT_TRUE(collector.At(4).IsEndOfConnection());
  EXPECT_EQ(collector.At(4).connection, connection);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(collector.Size(), 5u);  // the end is reported once
  EXPECT_TRUE(channel.Connections().empty());
}

TEST(IPCPacketChannel, ConnectFailureIsANotice) {
  std::string failed;
  int port = platform::FindFreePort(&failed);
  std::vector<std::string> texts;
  IPCPacketChannel channel;
  channel.SetNoticeCallback([&](const IPCNotice& notice) {
    texts.push_back(notice.text);
    return 0;
  });
  EXPECT_EQ(channel.Connect(static_cast<uint16_t>(port)), nullptr);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "connect error: 111");  // ECONNREFUSED
}

TEST(IPCPacketChannel, SendWritesHeaderTextAndDataBackToBack) {
  FakeHost host;
  IPCPacketChannel channel;
  IPCConnectionPtr connection = channel.Connect(host.port());
  host.Accept();
  std::string data(1 << 20, 'd');
  constexpr int kSenders = 4, kEach = 8;
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&, s] {
      for (int i = 0; i < kEach; ++i) {
        std::string text = "text" + std::to_string(s);
        ASSERT_TRUE(channel.Send(connection, IPCPacketHeader{static_cast<uint64_t>(s), 9, 2, 0}, text, data));
      }
    });
  }
  size_t packet_size = kPacketHeaderSize + 5 + data.size();
  std::string bytes = host.Read(packet_size * kSenders * kEach);
  for (std::thread& sender : senders) sender.join();
  ASSERT_EQ(bytes.size(), packet_size * kSenders * kEach);
  for (size_t offset = 0; offset < bytes.size(); offset += packet_size) {
    IPCPacketHeader header;
    ASSERT_TRUE(DecodePacketHeader(bytes.data() + offset, &header));
    EXPECT_EQ(header.length, 5 + data.size());
    EXPECT_EQ(bytes.substr(offset + kPacketHeaderSize, 5), "text" + std::to_string(header.task_id));
    ASSERT_TRUE(bytes.compare(offset + kPacketHeaderSize + 5, data.size(), data) == 0);
  }
}

TEST(IPCPacketChannel, HeartbeatIsSentOnlyAfterAQuietInterval) {
  FakeHost host;
  IPCPacketChannel channel;
  std::atomic<int> ticks{0}, due{0};
  channel.SetNoticeCallback([&](const IPCNotice& notice) {
    if (notice.kind == IPCNotice::kHeartbeatTick) ++ticks;
    if (notice.kind == IPCNotice::kHeartbeatDue) ++due;
    return 0;
  });
  channel.SetHeartbeatIntervalMs(100);
  IPCConnectionPtr connection = channel.Connect(host.port());
  host.Accept();
  // Traffic more often than the interval keeps the heartbeat away.
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(channel.Send(connection, IPCPacketHeader{1, 1, 0, 0}, "x"));
    std::this_thread::sleep_for(30ms);
  }
  std::string traffic = host.Read(8 * (kPacketHeaderSize + 1));
  EXPECT_EQ(traffic.size(), 8 * (kPacketHeaderSize + 1));
  EXPECT_EQ(due, 0);
  // Then silence: a heartbeat arrives.
  EXPECT_EQ(host.Read(kHeartbeatSize, 2000), std::string(kHeartbeat));
  EXPECT_GE(due, 1);
  EXPECT_GE(ticks, 2);
}

TEST(IPCPacketChannel, ListeningSideAcceptsAndReportsTheArrival) {
  Collector collector;
  IPCPacketChannel channel([&](IPCPacketPtr packet) { collector.Add(std::move(packet)); });
  std::mutex mutex;
  std::vector<std::string> texts;
  std::atomic<int> accepted{0};
  channel.SetNoticeCallback([&](const IPCNotice& notice) {
    std::lock_guard<std::mutex> lock(mutex);
    if (notice.kind == IPCNotice::kAccepted) ++accepted;
    if (notice.kind == IPCNotice::kDiagnostic) texts.push_back(notice.text);
    return 0;
  });
  EXPECT_TRUE(channel.IsIdle());
  IPCConnectionPtr listener = channel.Listen();
  ASSERT_NE(listener, nullptr);
  EXPECT_TRUE(channel.IsIdle());
  platform::SocketHandle child = platform::ConnectLoopback(static_cast<uint16_t>(listener->port));
  ASSERT_NE(child, platform::kInvalidSocket);
  std::string packet = Packet(77, 17, "from the child");
  ASSERT_TRUE(platform::SendAll(child, packet.data(), packet.size()));
  ASSERT_TRUE(collector.WaitFor(1));
  EXPECT_EQ(collector.At(0).payload, "from the child");
  EXPECT_EQ(collector.At(0).connection->side, IPCConnection::kAccepted);
  // The arrival notice may come just after the first packet: the accept and receive threads race.
  for (int i = 0; i < 500 && accepted == 0; ++i) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(accepted, 1);
  EXPECT_FALSE(channel.IsIdle());
  {
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[0], "SO_KEEPALIVE Value: 0");
    EXPECT_EQ(texts[1], "Set SO_KEEPALIVE: ON");
    EXPECT_EQ(texts[2], "Set ioctlsocket : FIONBIO ON");
  }
  platform::CloseSocket(child);
  channel.Stop();
}

}  // namespace
}  // namespace bas
