#include "basic/ipc_channel.h"

#include <glog/logging.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace bas {
namespace {

constexpr size_t kReceiveBufferSize = 256 * 1024;
constexpr int kWaitMs = 1000;
constexpr uint32_t kTickWrap = 1u << 30;
constexpr size_t kJoinedDataLimit = 64 * 1024;  // larger data parts are sent as they are, without a copy

uint32_t NowSeconds() { return static_cast<uint32_t>(std::time(nullptr)); }

template <class... Args>
std::string Format(const char* format, Args... args) {
  char text[128];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// Ends the connection both ways. The descriptor itself is closed with the record's last reference, so no thread
// that still holds the record can ever reach a descriptor reused for something else.
void EndConnection(const IPCConnectionPtr& connection) {
  connection->ended = true;
  platform::ShutdownSocket(connection->socket);
}

}  // namespace

IPCChannel::IPCChannel() : receive_thread_([this] { ReceiveLoop(); }) {}

IPCChannel::~IPCChannel() { Shutdown(); }

void IPCChannel::Stop() { Shutdown(); }

void IPCChannel::Shutdown() {
  std::vector<IPCConnectionPtr> connections;
  IPCConnectionPtr listener;
  std::vector<std::thread> helpers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    connections.swap(connections_);
    listener = std::move(listener_);
    helpers.swap(helpers_);
  }
  // Shutting the sockets down makes every blocked call return, also a send that holds a send mutex.
  for (const IPCConnectionPtr& connection : connections) EndConnection(connection);
  if (listener) EndConnection(listener);
  changed_.notify_all();
  wake_.Signal();
  auto join = [](std::thread& thread) {
    if (!thread.joinable()) return;
    if (thread.get_id() == std::this_thread::get_id()) {
      thread.detach();  // stopped from one of its own callbacks: it ends by itself
    } else {
      thread.join();
    }
  };
  join(receive_thread_);
  for (std::thread& helper : helpers) join(helper);
}

IPCConnectionPtr IPCChannel::Connect(uint16_t port) {
  platform::SocketHandle socket = platform::ConnectLoopback(port);
  if (socket == platform::kInvalidSocket) {
    Notify(IPCNotice::kDiagnostic, nullptr, 0, Format("connect error: %d", platform::LastSocketError()));
    return nullptr;
  }
  auto connection = std::make_shared<IPCConnection>(socket, port, IPCConnection::kConnected);
  if (!AddConnection(connection)) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!stopping_) helpers_.emplace_back([this, connection] { HeartbeatLoop(connection); });
  return connection;
}

IPCConnectionPtr IPCChannel::Listen() {
  std::string failed_call;
  int port = platform::FindFreePort(&failed_call);
  if (port < 0) {
    std::printf("%s() error: %s\n", failed_call.c_str(), platform::SocketErrorText(platform::LastSocketError()).c_str());
    return nullptr;
  }
  platform::SocketHandle socket = platform::ListenLoopback(static_cast<uint16_t>(port), 4);
  if (socket == platform::kInvalidSocket) return nullptr;
  auto listener = std::make_shared<IPCConnection>(socket, static_cast<uint32_t>(port), IPCConnection::kAccepted);
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_ || listener_) return nullptr;  // the record closes its socket
  listener_ = listener;
  helpers_.emplace_back([this, listener] { AcceptLoop(listener); });
  return listener;
}

bool IPCChannel::Send(const IPCConnectionPtr& connection, IPCPacketHeader header, std::string_view payload) {
  return Send(connection, header, payload, std::string_view());
}

bool IPCChannel::Send(const IPCConnectionPtr& connection, IPCPacketHeader header, std::string_view text,
                      std::string_view data) {
  if (!connection) return false;
  header.length = text.size() + data.size();
  // A small data part travels in the same write as the header and text: a stream of small reports then costs one
  // segment each instead of two.
  const bool joined = data.size() <= kJoinedDataLimit;
  std::string head(kPacketHeaderSize + text.size() + (joined ? data.size() : 0), '\0');
  EncodePacketHeader(header, head.data());
  text.copy(head.data() + kPacketHeaderSize, text.size());
  if (joined) data.copy(head.data() + kPacketHeaderSize + text.size(), data.size());
  std::lock_guard<std::mutex> lock(connection->send_mutex);
  if (connection->ended) return false;
  connection->last_activity = NowSeconds();
  if (platform::SendAll(connection->socket, head.data(), head.size()) &&
      (joined || platform::SendAll(connection->socket, data.data(), data.size()))) {
    return true;
  }
  // A peer that takes nothing for the send time-out, or a broken connection: part of a packet may be on the wire,
  // so the connection cannot carry another one. Ending it lets the receive thread report it closed.
  EndConnection(connection);
  return false;
}

bool IPCChannel::SendEncoded(const IPCConnectionPtr& connection, std::string_view packets) {
  if (!connection) return false;
  std::lock_guard<std::mutex> lock(connection->send_mutex);
  if (connection->ended) return false;
  connection->last_activity = NowSeconds();
  if (platform::SendAll(connection->socket, packets.data(), packets.size())) return true;
  EndConnection(connection);  // as in Send: a packet may be cut
  return false;
}

void IPCChannel::SetNoticeCallback(IPCNoticeCallback callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  notice_ = std::move(callback);
}

void IPCChannel::SetHeartbeatIntervalMs(int ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  heartbeat_interval_ms_ = ms;
}

std::vector<IPCConnectionPtr> IPCChannel::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

IPCConnectionPtr IPCChannel::FindBySocket(platform::SocketHandle socket) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const IPCConnectionPtr& connection : connections_) {
    if (connection->socket == socket) return connection;
  }
  return nullptr;
}

bool IPCChannel::IsIdle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return listener_ == nullptr || connections_.empty();
}

int IPCChannel::NotifyResult(int kind, const IPCConnectionPtr& connection, uint32_t tick, const std::string& text) {
  IPCNoticeCallback callback;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    callback = notice_;
  }
  if (callback) return callback(IPCNotice{kind, connection, tick, text});
  if (kind == IPCNotice::kDiagnostic) LOG(INFO) << text;
  return 0;
}

void IPCChannel::Notify(int kind, const IPCConnectionPtr& connection, uint32_t tick, const std::string& text) {
  NotifyResult(kind, connection, tick, text);
}

bool IPCChannel::AddConnection(const IPCConnectionPtr& connection) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      EndConnection(connection);
      return false;
    }
    connections_.push_back(connection);
    connection->last_activity = NowSeconds();
  }
  changed_.notify_all();
  wake_.Signal();
  return true;
}

void IPCChannel::Drop(const IPCConnectionPtr& connection) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.erase(std::remove(connections_.begin(), connections_.end(), connection), connections_.end());
  }
  EndConnection(connection);
  if (connection->closed.exchange(1) == 0) Receive(connection, nullptr, 0);
}

void IPCChannel::ReceiveLoop() {
  std::vector<char> buffer(kReceiveBufferSize);
  std::vector<IPCConnectionPtr> list;
  std::vector<platform::SocketHandle> sockets;
  std::vector<bool> readable;
  for (;;) {
    // Cleared before the set is read, so that a connection added meanwhile wakes the wait below at once.
    wake_.Clear();
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !connections_.empty(); });
      if (stopping_) return;
      list = connections_;
    }
    sockets.clear();
    for (const IPCConnectionPtr& connection : list) sockets.push_back(connection->socket);
    int ready = platform::WaitReadable(sockets, wake_.fd(), kWaitMs, &readable);
    if (ready < 0) {
      Notify(IPCNotice::kDiagnostic, nullptr, 0, Format("SelectRecv select() failed: %d", platform::LastSocketError()));
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    for (size_t i = 0; i < list.size(); ++i) {
      if (!readable[i]) continue;
      const IPCConnectionPtr& connection = list[i];
      long n = platform::Receive(sockets[i], buffer.data(), buffer.size());
      if (n > 0) {
        connection->last_activity = NowSeconds();
        if (n == static_cast<long>(kHeartbeatSize) && std::string_view(buffer.data(), kHeartbeatSize) == kHeartbeat) {
          Notify(IPCNotice::kDiagnostic, connection, 0, Format("SelectRecv Heart Test Receive: %ld", n));
          continue;
        }
        Receive(connection, buffer.data(), static_cast<size_t>(n));
        continue;
      }
      int error = platform::LastSocketError();
      if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) continue;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;  // our own shutdown, not the peer's
      }
      Notify(IPCNotice::kDiagnostic, connection, 0, Format("SelectRecv recv: readed: %ld,code: %d", n, n < 0 ? error : 0));
      Drop(connection);
    }
  }
}

void IPCChannel::HeartbeatLoop(IPCConnectionPtr connection) {
  uint32_t tick = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  auto alive = [&] {
    return !stopping_ && connection->closed == 0 &&
           std::find(connections_.begin(), connections_.end(), connection) != connections_.end();
  };
  while (alive()) {
    if (changed_.wait_for(lock, std::chrono::milliseconds(heartbeat_interval_ms_), [this] { return stopping_; })) return;
    if (!alive()) return;
    lock.unlock();
    tick = tick >= kTickWrap ? 1 : tick + 1;
    Notify(IPCNotice::kHeartbeatTick, connection, tick, std::string());
    if (connection->last_activity.exchange(0) == 0 &&
        NotifyResult(IPCNotice::kHeartbeatDue, connection, tick, std::string()) == 0) {
      std::lock_guard<std::mutex> send_lock(connection->send_mutex);
      if (!connection->ended) platform::SendAll(connection->socket, kHeartbeat.data(), kHeartbeat.size());
    }
    lock.lock();
  }
}

void IPCChannel::AcceptLoop(IPCConnectionPtr listener) {
  for (;;) {
    Notify(IPCNotice::kAcceptWaiting, nullptr, 0, std::string());
    platform::SocketHandle socket = platform::AcceptConnection(listener->socket);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) {
        platform::CloseSocket(socket);
        return;
      }
    }
    if (socket == platform::kInvalidSocket) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    long keep_alive = 0;
    platform::GetKeepAlive(socket, &keep_alive);
    Notify(IPCNotice::kDiagnostic, nullptr, 0, Format("SO_KEEPALIVE Value: %ld", keep_alive));
    platform::SetKeepAlive(socket, true);
    Notify(IPCNotice::kDiagnostic, nullptr, 0, "Set SO_KEEPALIVE: ON");
    platform::SetNonBlocking(socket, true);
    Notify(IPCNotice::kDiagnostic, nullptr, 0, "Set ioctlsocket : FIONBIO ON");
    auto connection = std::make_shared<IPCConnection>(socket, listener->port, IPCConnection::kAccepted);
    if (!AddConnection(connection)) return;
    Notify(IPCNotice::kAccepted, connection, 0, std::string());
  }
}

}  // namespace bas
