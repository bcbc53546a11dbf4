// PathHttpServer: a web server on 127.0.0.1 for tests that answers by path, one request per connection, and
// can misbehave on purpose for a path: stall after the headers, or close after half the body.
//
// HEAD gets the headers GET would get. Unknown paths get 404. Each request is counted by method and path.
// Thread safety: routes are set before requests arrive; counts may be read from any thread.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "support/loopback_listener.h"

namespace testing_support {

class PathHttpServer {
 public:
  enum class Behaviour { kServe, kStallAfterHeaders, kCloseHalfway };

  PathHttpServer() {
    listener_ = ListenOnLoopback(16, &port_);
  }
  ~PathHttpServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    if (thread_.joinable()) thread_.join();
  }

  void Route(const std::string& path, std::string body, Behaviour behaviour = Behaviour::kServe) {
    routes_[path] = {std::move(body), behaviour};
  }
  void Start() {
    thread_ = std::thread([this] { Serve(); });
  }
  std::string Url(const std::string& path = "") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int Count(const std::string& method, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_[method + " " + path];
  }

 private:
  struct Reply {
    std::string body;
    Behaviour behaviour = Behaviour::kServe;
  };

  void Serve() {
    while (!stopping_) {
      int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      std::string request;
      char buffer[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = ::read(client, buffer, sizeof buffer);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      std::string method = request.substr(0, request.find(' '));
      size_t path_start = method.size() + 1;
      std::string path = request.substr(path_start, request.find(' ', path_start) - path_start);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++counts_[method + " " + path];
      }
      Respond(client, method, path);
      ::close(client);
    }
  }

  void Respond(int client, const std::string& method, const std::string& path) {
    auto it = routes_.find(path);
    if (it == routes_.end()) {
      Send(client, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      return;
    }
    const Reply& answer = it->second;
    Send(client, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(answer.body.size()) +
                     "\r\nConnection: close\r\n\r\n");
    if (method == "HEAD") return;
    switch (answer.behaviour) {
      case Behaviour::kServe:
        Send(client, answer.body);
        break;
      case Behaviour::kCloseHalfway:
        Send(client, answer.body.substr(0, answer.body.size() / 2));
        break;
      case Behaviour::kStallAfterHeaders:
        while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        break;
    }
  }

  static void Send(int client, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = ::send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::map<std::string, Reply> routes_;
  std::mutex mutex_;
  std::map<std::string, int> counts_;
  std::thread thread_;
};

}  // namespace testing_support
