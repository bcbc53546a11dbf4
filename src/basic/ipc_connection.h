// IPCConnection: the record of one socket of a packet channel.
//
// Thread safety: the socket is constant (closed by the destructor, once nobody holds the record); the activity
// time and the two flags are atomic; `send_mutex` serialises sends. The rest is constant.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/socket.h"

namespace bas {

struct IPCConnection {
  enum Side : uint32_t { kConnected = 0, kAccepted = 1 };

  IPCConnection(platform::SocketHandle s, uint32_t p, uint32_t side_flag) : socket(s), port(p), side(side_flag) {}
  ~IPCConnection() { platform::CloseSocket(socket); }
  IPCConnection(const IPCConnection&) = delete;
  IPCConnection& operator=(const IPCConnection&) = delete;

  // Valid for the record's whole life: it is closed only by the destructor.
  const platform::SocketHandle socket;
  const uint32_t port;
  const std::string address = "127.0.0.1";
  const uint32_t side;  // broadcasts to the host go to kConnected connections only
  // Seconds since 1970 of the last send or receive; 0 means no traffic since the last heartbeat check.
  std::atomic<uint32_t> last_activity{0};
  std::atomic<uint32_t> closed{0};  // set once, when the connection is reported closed
  std::atomic<bool> ended{false};   // shut down by this side: nothing more is sent
  // Serialises the sends on this socket, so that the parts of one packet reach it back to back.
  std::mutex send_mutex;
};

}  // namespace bas
