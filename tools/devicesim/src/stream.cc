#include "stream.h"

#include <poll.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace devicesim {

namespace {

constexpr size_t kSpliceChunk = 1 << 20;

}  // namespace

Stream::~Stream() {
  if (pipe_[0] >= 0) ::close(pipe_[0]);
  if (pipe_[1] >= 0) ::close(pipe_[1]);
}

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

namespace devicesim {

bool Stream::CopyFileThroughBuffer(int file_fd, size_t size) {
  std::vector<char> chunk(std::min<size_t>(size, kSpliceChunk));
  while (size > 0) {
    ssize_t n = ::read(file_fd, chunk.data(), std::min(chunk.size(), size));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !Write(chunk.data(), static_cast<size_t>(n))) return false;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool Stream::SendFile(int file_fd, size_t size) {
  if (cut_) return false;
  // Under an output budget the cut must fall on an exact byte, so the bytes go through Write.
  if (budget_ != std::numeric_limits<uint64_t>::max()) return CopyFileThroughBuffer(file_fd, size);
  while (size > 0) {
    ssize_t n = ::sendfile(fd_, file_fd, nullptr, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool Stream::Skip(size_t size) {
  char scratch[64 << 10];
  while (size > 0) {
    size_t part = std::min(sizeof(scratch), size);
    if (!ReadExact(scratch, part)) return false;
    size -= part;
  }
  return true;
}

bool Stream::ReceiveThroughBuffer(int file_fd, size_t size, bool* file_error) {
  std::vector<char> chunk(std::min<size_t>(size, kSpliceChunk));
  while (size > 0) {
    size_t part = std::min(chunk.size(), size);
    if (!ReadExact(chunk.data(), part)) return false;
    size -= part;
    for (size_t done = 0; done < part;) {
      ssize_t n = ::write(file_fd, chunk.data() + done, part - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        *file_error = true;
        Skip(size);  // keeps the framing for the next request
        return false;
      }
      done += static_cast<size_t>(n);
    }
  }
  return true;
}

bool Stream::MakePipe() {
  if (::pipe2(pipe_, O_CLOEXEC) != 0) return false;
  // A larger pipe moves more per splice; the default 64 KiB costs many system calls per request.
  ::fcntl(pipe_[1], F_SETPIPE_SZ, static_cast<int>(kSpliceChunk));
  return true;
}

bool Stream::ReceiveToFile(int file_fd, size_t size, bool* file_error) {
  *file_error = false;
  int flags = ::fcntl(file_fd, F_GETFL);
  // splice cannot write to a file opened for appending.
  bool can_splice = flags >= 0 && !(flags & O_APPEND) && (pipe_[0] >= 0 || MakePipe());
  if (!can_splice) return ReceiveThroughBuffer(file_fd, size, file_error);
  while (size > 0) {
    ssize_t in = ::splice(fd_, nullptr, pipe_[1], nullptr, std::min(size, kSpliceChunk), SPLICE_F_MOVE);
    if (in < 0 && errno == EINTR) continue;
    if (in <= 0) return false;
    size -= static_cast<size_t>(in);
    for (ssize_t left = in; left > 0;) {
      ssize_t out = ::splice(pipe_[0], nullptr, file_fd, nullptr, static_cast<size_t>(left), SPLICE_F_MOVE);
      if (out < 0 && errno == EINTR) continue;
      if (out <= 0) {
        *file_error = true;
        char scratch[64 << 10];
        while (left > 0) {
          ssize_t dropped = ::read(pipe_[0], scratch, std::min<size_t>(sizeof(scratch), static_cast<size_t>(left)));
          if (dropped <= 0) return false;
          left -= dropped;
        }
        Skip(size);
        return false;
      }
      left -= out;
    }
  }
  return true;
}

}  // namespace devicesim
