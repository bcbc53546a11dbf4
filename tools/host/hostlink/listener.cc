#include "hostlink/listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "hostlink/posix_util_internal.h"

namespace hostlink {

HostListener::~HostListener() { Close(); }

void HostListener::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool HostListener::Listen(uint16_t port) {
  Close();
  // Close-on-exec: the processes the host starts must not inherit the listening socket.
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    last_error_ = internal::ErrnoText("socket");
    return false;
  }
  int on = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(addr);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd_, 16) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    last_error_ = internal::ErrnoText("listen on 127.0.0.1:" + std::to_string(port));
    Close();
    return false;
  }
  port_ = ntohs(addr.sin_port);
  return true;
}

std::unique_ptr<Connection> HostListener::Accept(std::chrono::milliseconds timeout) {
  if (fd_ < 0) {
    last_error_ = "accept: not listening";
    return nullptr;
  }
  auto deadline = internal::Clock::now() + timeout;
  for (;;) {
    pollfd pfd{fd_, POLLIN, 0};
    int ready = poll(&pfd, 1, internal::MillisUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      last_error_ = internal::ErrnoText("poll");
      return nullptr;
    }
    if (ready == 0) {
      last_error_ = "no connection within " + std::to_string(timeout.count()) + " ms";
      return nullptr;
    }
    int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0 && (errno == EINTR || errno == ECONNABORTED)) continue;
    if (fd < 0) {
      last_error_ = internal::ErrnoText("accept");
      return nullptr;
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    return std::make_unique<Connection>(fd);
  }
}

}  // namespace hostlink
