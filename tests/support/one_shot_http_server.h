// OneShotHttpServer: a web server on 127.0.0.1 for tests, giving one prepared answer per connection, in order.
// An empty answer makes it hold that connection open without answering until it is destroyed.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_listener.h"

namespace testing_support {

class OneShotHttpServer {
 public:
  explicit OneShotHttpServer(std::vector<std::string> answers) {
    listener_ = ListenOnLoopback(4, &port_);
    thread_ = std::thread([this, answers = std::move(answers)] {
      for (const std::string& answer : answers) {
        int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos) {
          ssize_t n = ::read(client, buffer, sizeof buffer);
          if (n <= 0) break;
          request.append(buffer, static_cast<size_t>(n));
        }
        if (!answer.empty()) (void)!::write(client, answer.data(), answer.size());
        while (answer.empty() && !stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::close(client);
      }
    });
  }
  ~OneShotHttpServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
  }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

std::string HttpAnswer(const std::string& status, const std::string& headers, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers +
         "Connection: close\r\n\r\n" + body;
}

}  // namespace testing_support
