// The listening socket of the tests' small servers: 127.0.0.1 on a port the system picks.
//
// Thread safety: a pure function.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

namespace testing_support {

// A socket listening on 127.0.0.1 with `backlog`; *port receives its port. -1 when it cannot be made.
inline int ListenOnLoopback(int backlog, uint16_t* port) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  (void)::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  (void)::listen(listener, backlog);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  *port = ntohs(address.sin_port);
  return listener;
}

}  // namespace testing_support
