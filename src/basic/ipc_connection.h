// IPCConnection: the record of one socket of a packet channel.
//
// Thread safety: `socket` changes only under `send_mutex` (it is closed there); the activity time and the closed
// flag are atomic; `registered` is used by the channel's receive thread only. The rest is constant.
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

  platform::SocketHandle socket;
  const uint32_t port;
  const std::string address = "127.0.0.1";
  const uint32_t side;  // broadcasts to the host go to kConnected connections only
  // Seconds since 1970 of the last send or receive; 0 means no traffic since the last heartbeat check.
  std::atomic<uint32_t> last_activity{0};
  std::atomic<uint32_t> closed{0};  // set once, when the connection is reported closed
  bool registered = false;
  // Serialises the sends on this socket, so that the parts of one packet reach it back to back.
  std::mutex send_mutex;
};

}  // namespace bas
