// bas::IPCChannel: the sockets of one side of the host link and the threads that serve them.
//
// The channel owns a set of connections. One receive thread waits on all of them at once and hands every chunk it
// reads (or the end of a connection, as null data) to `Receive`, which the packet layer implements. Each
// connection made with Connect gets a heartbeat thread: every heartbeat interval (30 s) it reports a tick and,
// when nothing was sent or received during the interval, a heartbeat is due; unless the notice callback takes
// care of it, the channel then sends the eight heartbeat bytes. A listening channel has an accept thread.
// Diagnostics go to the notice callback as kind-4 notices with fixed texts, or to the log when there is none.
//
// Thread safety: every public member may be called from any thread. Sends on one connection are serialised by
// the connection's send mutex; Stop may be called more than once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "basic/ipc_connection.h"
#include "basic/ipc_packet.h"
#include "platform/socket.h"

namespace bas {

struct IPCNotice {
  enum Kind : int { kAcceptWaiting = 0, kAccepted = 1, kHeartbeatDue = 2, kHeartbeatTick = 3, kDiagnostic = 4 };
  int kind;
  IPCConnectionPtr connection;
  uint32_t tick;
  std::string text;
};
// Returns non-zero for a kHeartbeatDue notice when the callback sent the heartbeat itself.
using IPCNoticeCallback = std::function<int(const IPCNotice&)>;

class IPCChannel {
 public:
  static constexpr int kHeartbeatIntervalMs = 30000;

  IPCChannel();
  virtual ~IPCChannel();
  IPCChannel(const IPCChannel&) = delete;
  IPCChannel& operator=(const IPCChannel&) = delete;

  // Shuts down and closes every socket and ends the threads that serve them.
  virtual void Stop();

  // Connects to 127.0.0.1:port; null (after a "connect error: %d" notice) when that fails.
  IPCConnectionPtr Connect(uint16_t port);
  // Listens on a free loopback port and starts accepting; returns the listening record, or null.
  IPCConnectionPtr Listen();

  // Sends the header (its length field set to payload.size()) and the payload.
  bool Send(const IPCConnectionPtr& connection, IPCPacketHeader header, std::string_view payload);
  // Sends the header (length = text + data), the text part in the same write and then the data part, with no
  // other packet between them.
  bool Send(const IPCConnectionPtr& connection, IPCPacketHeader header, std::string_view text, std::string_view data);
  // Sends packets already encoded, whole and back to back, in one write.
  bool SendEncoded(const IPCConnectionPtr& connection, std::string_view packets);

  void SetNoticeCallback(IPCNoticeCallback callback);
  void SetHeartbeatIntervalMs(int ms);

  std::vector<IPCConnectionPtr> Connections() const;
  IPCConnectionPtr FindBySocket(platform::SocketHandle socket) const;
  // True when the channel does not listen, or nobody has connected to it.
  bool IsIdle() const;

 protected:
  // Called on the receive thread with each chunk read, or with null data when the connection has ended.
  virtual void Receive(const IPCConnectionPtr& connection, const char* data, size_t length) = 0;
  void Notify(int kind, const IPCConnectionPtr& connection, uint32_t tick, const std::string& text);
  // The same, returning the callback's answer (0 without a callback).
  int NotifyResult(int kind, const IPCConnectionPtr& connection, uint32_t tick, const std::string& text);
  // Ends the threads; derived classes call it first in their destructor, so that no callback reaches a
  // half-destroyed object.
  void Shutdown();

 private:
  void ReceiveLoop();
  void HeartbeatLoop(IPCConnectionPtr connection);
  void AcceptLoop(IPCConnectionPtr listener);
  void Drop(const IPCConnectionPtr& connection);
  bool AddConnection(const IPCConnectionPtr& connection);  // false once the channel is stopping

  mutable std::mutex mutex_;  // the channel mutex: guards everything below
  std::condition_variable changed_;
  std::vector<IPCConnectionPtr> connections_;
  IPCConnectionPtr listener_;
  IPCNoticeCallback notice_;
  int heartbeat_interval_ms_ = kHeartbeatIntervalMs;
  bool stopping_ = false;
  std::vector<std::thread> helpers_;  // heartbeat and accept threads

  platform::WakeEvent wake_;  // interrupts the receive thread's wait when the set changes or on stop
  std::thread receive_thread_;
};

}  // namespace bas
