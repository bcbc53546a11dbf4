// One accepted host-link connection from Corvane, seen from the host: send commands, read reports.
//
// Blocking and thread-compatible: one thread at a time may use a Connection. Every wait takes a timeout and returns
// when it passes, when Corvane closes the connection, or on a socket error; sends give up after the send timeout.
// Reports that a wait passes over are kept, in arrival order, in pending(); later reads and waits look there first,
// so a test that waits for one report loses none of the others.
#ifndef CORVANE_TOOLS_HOST_HOSTLINK_CONNECTION_H_
#define CORVANE_TOOLS_HOST_HOSTLINK_CONNECTION_H_

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostlink/reassembler.h"
#include "hostlink/report.h"

namespace hostlink {

using ReportPredicate = std::function<bool(const Report&)>;

// Matches reports of one packet type.
ReportPredicate OfType(uint32_t packet_type);
// Matches the final report (header code 1, 5 or 6) of a command.
ReportPredicate FinalOf(uint64_t task_id, uint32_t packet_type);

class Connection {
 public:
  // Takes ownership of a connected stream socket.
  explicit Connection(int fd);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Sends one command packet: marker, NUL, JSON, NUL, data. False (see last_error()) when the send fails.
  bool SendCommand(uint64_t task_id, uint32_t packet_type, std::string_view json, std::string_view data = {},
                   std::string_view marker = "1", uint16_t code = 0);
  // Sends bytes exactly as given, in one write, for tests that split or join packets and heartbeats on purpose.
  bool SendRaw(std::string_view bytes);
  bool SendHeartbeat() { return SendRaw(kHeartbeat); }

  // Returns the oldest report not yet taken, waiting up to `timeout` for one to arrive. nullopt on timeout, when the
  // connection is closed, or on error (last_error() says which).
  std::optional<Report> ReadReport(std::chrono::milliseconds timeout);
  // Returns the oldest report that `match` accepts, looking first at pending() and then at what arrives within
  // `timeout`. Reports it passes over stay in pending().
  std::optional<Report> WaitFor(const ReportPredicate& match, std::chrono::milliseconds timeout);
  // Waits until Corvane closes the connection; reports that arrive meanwhile go to pending(). True when it closed.
  bool WaitForClose(std::chrono::milliseconds timeout);

  // Reports received and not yet returned, oldest first. The caller may inspect, take or clear them.
  std::deque<Report>& pending() { return pending_; }

  uint64_t heartbeats_received() const { return reassembler_.heartbeats(); }
  uint64_t discarded_bytes() const { return reassembler_.discarded_bytes(); }
  bool peer_closed() const { return peer_closed_; }
  const std::string& last_error() const { return last_error_; }
  int fd() const { return fd_; }

  // Bounds every send; the default is 30 seconds.
  void SetSendTimeout(std::chrono::milliseconds timeout);
  // Closes the socket; later sends fail and reads return what is pending.
  void Close();

 private:
  // Reads once when bytes arrive before `deadline` and moves whole packets to pending_. False on timeout, close or
  // error.
  bool ReadMore(std::chrono::steady_clock::time_point deadline);

  int fd_;
  PacketReassembler reassembler_;
  std::deque<Report> pending_;
  std::vector<char> read_buffer_;
  bool peer_closed_ = false;
  std::string last_error_;
};

}  // namespace hostlink

#endif  // CORVANE_TOOLS_HOST_HOSTLINK_CONNECTION_H_
