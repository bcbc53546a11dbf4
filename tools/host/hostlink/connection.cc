#include "hostlink/connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "hostlink/posix_util_internal.h"

namespace hostlink {

using internal::Clock;

ReportPredicate OfType(uint32_t packet_type) {
  return [packet_type](const Report& r) { return r.packet_type == packet_type; };
}

ReportPredicate FinalOf(uint64_t task_id, uint32_t packet_type) {
  return [task_id, packet_type](const Report& r) {
    return r.task_id == task_id && r.packet_type == packet_type && r.is_final();
  };
}

Connection::Connection(int fd) : fd_(fd), read_buffer_(256 * 1024) { SetSendTimeout(std::chrono::seconds(30)); }

Connection::~Connection() { Close(); }

void Connection::SetSendTimeout(std::chrono::milliseconds timeout) {
  if (fd_ < 0) return;
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

void Connection::Close() {
  if (fd_ < 0) return;
  shutdown(fd_, SHUT_RDWR);
  close(fd_);
  fd_ = -1;
}

bool Connection::SendCommand(uint64_t task_id, uint32_t packet_type, std::string_view json, std::string_view data,
                             std::string_view marker, uint16_t code) {
  return SendRaw(EncodeCommand(task_id, packet_type, json, data, marker, code));
}

bool Connection::SendRaw(std::string_view bytes) {
  if (fd_ < 0) {
    last_error_ = "send: connection is closed";
    return false;
  }
  while (!bytes.empty()) {
    ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      last_error_ = "send: timed out with " + std::to_string(bytes.size()) + " bytes unsent";
      return false;
    }
    if (sent < 0) {
      last_error_ = internal::ErrnoText("send");
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

bool Connection::ReadMore(Clock::time_point deadline) {
  if (fd_ < 0 || peer_closed_) {
    last_error_ = peer_closed_ ? "connection closed by Corvane" : "connection is closed";
    return false;
  }
  pollfd pfd{fd_, POLLIN, 0};
  int ready = poll(&pfd, 1, internal::MillisUntil(deadline));
  if (ready < 0 && errno == EINTR) {
    if (Clock::now() < deadline) return true;  // a signal cut the wait short: the caller waits on
    ready = 0;
  }
  if (ready < 0) {
    last_error_ = internal::ErrnoText("poll");
    return false;
  }
  if (ready == 0) {
    last_error_ = "timed out waiting for a report";
    return false;
  }
  ssize_t got = recv(fd_, read_buffer_.data(), read_buffer_.size(), 0);
  if (got < 0 && errno == EINTR) return true;
  if (got <= 0) {
    last_error_ = got == 0 ? "connection closed by Corvane" : internal::ErrnoText("recv");
    peer_closed_ = true;
    return false;
  }
  reassembler_.Feed(std::string_view(read_buffer_.data(), static_cast<size_t>(got)));
  while (auto packet = reassembler_.Next()) pending_.push_back(ParseReport(*packet));
  return true;
}

std::optional<Report> Connection::WaitFor(const ReportPredicate& match, std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  size_t checked = 0;
  for (;;) {
    for (; checked < pending_.size(); ++checked) {
      if (match(pending_[checked])) {
        Report found = std::move(pending_[checked]);
        pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(checked));
        return found;
      }
    }
    if (!ReadMore(deadline)) return std::nullopt;
  }
}

std::optional<Report> Connection::ReadReport(std::chrono::milliseconds timeout) {
  return WaitFor([](const Report&) { return true; }, timeout);
}

bool Connection::WaitForClose(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (ReadMore(deadline)) {
  }
  return peer_closed_;
}

}  // namespace hostlink
