#include "stream.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace devicesim {

bool Stream::ReadExact(void* data, size_t size) {
  auto* out = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = ::recv(fd_, out, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

size_t Stream::ReadSome(void* data, size_t size) {
  for (;;) {
    ssize_t n = ::recv(fd_, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
}

bool Stream::SendAll(const void* first, size_t first_size, const void* second, size_t second_size) {
  iovec parts[2] = {{const_cast<void*>(first), first_size}, {const_cast<void*>(second), second_size}};
  int count = second_size > 0 ? 2 : 1;
  iovec* next = parts;
  while (count > 0) {
    msghdr message{};
    message.msg_iov = next;
    message.msg_iovlen = static_cast<size_t>(count);
    ssize_t n = ::sendmsg(fd_, &message, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    size_t sent = static_cast<size_t>(n);
    while (count > 0 && sent >= next->iov_len) {
      sent -= next->iov_len;
      ++next;
      --count;
    }
    if (count > 0) {
      next->iov_base = static_cast<char*>(next->iov_base) + sent;
      next->iov_len -= sent;
    }
  }
  return true;
}

bool Stream::WriteParts(const void* first, size_t first_size, const void* second, size_t second_size) {
  if (cut_) return false;
  uint64_t total = first_size + second_size;
  if (total <= budget_) {
    if (budget_ != std::numeric_limits<uint64_t>::max()) budget_ -= total;
    return SendAll(first, first_size, second, second_size);
  }
  // The injected cut: send what the budget allows, then end the connection in both directions.
  size_t head = static_cast<size_t>(std::min<uint64_t>(first_size, budget_));
  size_t tail = static_cast<size_t>(std::min<uint64_t>(second_size, budget_ - head));
  if (head > 0) SendAll(first, head, second, tail);
  budget_ = 0;
  cut_ = true;
  ::shutdown(fd_, SHUT_RDWR);
  return false;
}

void Stream::DrainUntilClosed() {
  char scratch[4096];
  while (!stopping_.load()) {
    pollfd waiter{fd_, POLLIN, 0};
    int ready = ::poll(&waiter, 1, 100);
    if (ready < 0 && errno != EINTR) return;
    if (ready <= 0) continue;
    if (waiter.revents & (POLLERR | POLLNVAL)) return;
    ssize_t n = ::recv(fd_, scratch, sizeof(scratch), 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
  }
}

}  // namespace devicesim
