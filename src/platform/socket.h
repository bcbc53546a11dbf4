// TCP sockets on the loopback interface, and a wake-up event for waits on them.
//
// Sockets are plain descriptors (`SocketHandle`); -1 means none. Every call that fails returns -1 or false and
// leaves the system error code for `LastSocketError`. Sends never raise SIGPIPE.
//
// Thread safety: all functions may be called from any thread; one socket's sends must be serialised by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using SocketHandle = int;
constexpr SocketHandle kInvalidSocket = -1;

int LastSocketError();
std::string SocketErrorText(int error);

// A blocking TCP connection to 127.0.0.1:port with Nagle's delay switched off; a send that cannot go on for 30 s
// fails.
SocketHandle ConnectLoopback(uint16_t port);

// Finds a port nobody listens on: binds port 0 on any address and reads the port back. On failure returns -1 and
// names the call that failed ("socket", "bind" or "getsockname") in `failed_call`.
int FindFreePort(std::string* failed_call);
SocketHandle ListenLoopback(uint16_t port, int backlog);
SocketHandle AcceptConnection(SocketHandle listener);

bool GetKeepAlive(SocketHandle socket, long* value);
bool SetKeepAlive(SocketHandle socket, bool on);
bool SetNonBlocking(SocketHandle socket, bool on);
bool SetNoDelay(SocketHandle socket, bool on);

// One recv of at most `length` bytes: the count, 0 when the peer closed, -1 on error.
long Receive(SocketHandle socket, void* buffer, size_t length);
// Writes all bytes, waiting (up to 30 s at a time) while the socket is full; false when the connection fails or
// the peer takes nothing for that long.
bool SendAll(SocketHandle socket, const void* data, size_t length);

void ShutdownSocket(SocketHandle socket);
void CloseSocket(SocketHandle socket);

// Waits until one of the sockets (or the wake event, when given) is readable, or the time-out passes.
// `readable` gets one flag per socket. Returns the number of ready descriptors, 0 on time-out, -1 on error.
int WaitReadable(const std::vector<SocketHandle>& sockets, int wake_fd, int timeout_ms, std::vector<bool>* readable);

// A level-triggered event a thread can wait on together with sockets; Signal wakes the waiter until Clear.
class WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  void Signal();
  void Clear();
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace platform
