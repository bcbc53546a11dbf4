#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kSendTimeoutSeconds = 30;

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

int LastSocketError() { return errno; }

std::string SocketErrorText(int error) { return std::strerror(error); }

SocketHandle ConnectLoopback(uint16_t port) {
  SocketHandle fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kInvalidSocket;
  sockaddr_in address = LoopbackAddress(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int error = errno;
    ::close(fd);
    errno = error;
    return kInvalidSocket;
  }
  SetNoDelay(fd, true);
  // A peer that stops reading must not hold a sender for ever.
  timeval timeout{kSendTimeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  return fd;
}

int FindFreePort(std::string* failed_call) {
  SocketHandle fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *failed_call = "socket";
    return -1;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *failed_call = "bind";
  } else if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    *failed_call = "getsockname";
  } else {
    port = ntohs(address.sin_port);
  }
  int error = errno;
  ::close(fd);
  errno = error;
  return port;
}

SocketHandle ListenLoopback(uint16_t port, int backlog) {
  SocketHandle fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kInvalidSocket;
  int reuse = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in address = LoopbackAddress(port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0) {
    int error = errno;
    ::close(fd);
    errno = error;
    return kInvalidSocket;
  }
  return fd;
}

SocketHandle AcceptConnection(SocketHandle listener) {
  SocketHandle fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) SetNoDelay(fd, true);
  return fd;
}

bool GetKeepAlive(SocketHandle socket, long* value) {
  int on = 0;
  socklen_t length = sizeof on;
  if (::getsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, &length) != 0) return false;
  *value = on;
  return true;
}

bool SetKeepAlive(SocketHandle socket, bool on) {
  int value = on ? 1 : 0;
  return ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &value, sizeof value) == 0;
}

bool SetNonBlocking(SocketHandle socket, bool on) {
  int flags = ::fcntl(socket, F_GETFL, 0);
  if (flags < 0) return false;
  flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return ::fcntl(socket, F_SETFL, flags) == 0;
}

bool SetNoDelay(SocketHandle socket, bool on) {
  int value = on ? 1 : 0;
  return ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) == 0;
}

long Receive(SocketHandle socket, void* buffer, size_t length) {
  for (;;) {
    ssize_t n = ::recv(socket, buffer, length, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool SendAll(SocketHandle socket, const void* data, size_t length) {
  const char* bytes = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = ::send(socket, bytes, length, MSG_NOSIGNAL);
    if (n > 0) {
      bytes += n;
      length -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd wait{socket, POLLOUT, 0};
      if (::poll(&wait, 1, kSendTimeoutSeconds * 1000) <= 0) return false;  // a peer that reads nothing has gone
      continue;
    }
    return false;
  }
  return true;
}

void ShutdownSocket(SocketHandle socket) { ::shutdown(socket, SHUT_RDWR); }

void CloseSocket(SocketHandle socket) {
  if (socket >= 0) ::close(socket);
}

int WaitReadable(const std::vector<SocketHandle>& sockets, int wake_fd, int timeout_ms, std::vector<bool>* readable) {
  std::vector<pollfd> fds;
  fds.reserve(sockets.size() + 1);
  for (SocketHandle socket : sockets) fds.push_back(pollfd{socket, POLLIN, 0});
  if (wake_fd >= 0) fds.push_back(pollfd{wake_fd, POLLIN, 0});
  int ready = ::poll(fds.data(), fds.size(), timeout_ms);
  readable->assign(sockets.size(), false);
  if (ready <= 0) return ready < 0 && errno == EINTR ? 0 : ready;
  for (size_t i = 0; i < sockets.size(); ++i) {
    (*readable)[i] = (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
  }
  return ready;
}

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeEvent::~WakeEvent() {
  if (fd_ >= 0) ::close(fd_);
}

void WakeEvent::Signal() {
  uint64_t one = 1;
  ssize_t written = ::write(fd_, &one, sizeof one);
  (void)written;  // a full counter is already signalled
}

void WakeEvent::Clear() {
  uint64_t value = 0;
  ssize_t n = ::read(fd_, &value, sizeof value);
  (void)n;  // nothing to clear is fine
}

}  // namespace platform
