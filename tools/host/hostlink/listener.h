// The host's listening socket on 127.0.0.1, to which Corvane connects at start.
//
// Thread-compatible: one thread at a time. Accept() always returns by its timeout.
#ifndef CORVANE_TOOLS_HOST_HOSTLINK_LISTENER_H_
#define CORVANE_TOOLS_HOST_HOSTLINK_LISTENER_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "hostlink/connection.h"

namespace hostlink {

class HostListener {
 public:
  HostListener() = default;
  ~HostListener();
  HostListener(const HostListener&) = delete;
  HostListener& operator=(const HostListener&) = delete;

  // Listens on 127.0.0.1:`port`; port 0 takes a free port, which port() then tells. False (see last_error()) when the
  // socket cannot be bound.
  bool Listen(uint16_t port = 0);
  uint16_t port() const { return port_; }

  // Waits up to `timeout` for Corvane to connect. Returns the connection (TCP_NODELAY set, so small test writes leave
  // at once), or null on timeout or error.
  std::unique_ptr<Connection> Accept(std::chrono::milliseconds timeout);

  void Close();
  const std::string& last_error() const { return last_error_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::string last_error_;
};

}  // namespace hostlink

#endif  // CORVANE_TOOLS_HOST_HOSTLINK_LISTENER_H_
