// Stalls on demand: requests a test wants held (after they are logged, before they are served) wait at a gate
// until the test lets them go. With them a test decides which side of a race is slower instead of hoping: "hold
// the second read of this file until the stop request was answered".
//
// Thread safety: every member may be called from any thread; Pass blocks the serving thread only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>

#include "devicesim/request_log.h"

namespace devicesim {

class RequestGates {
 public:
  // Holds the requests matching `filter`, except the first `let_pass` of them; returns the stall's number.
  int Stall(const RequestFilter& filter, size_t let_pass);
  // Lets the held requests of the stall go on and holds no more. Unknown numbers are ignored.
  void Release(int stall);
  // Releases every stall (the simulator is stopping).
  void ReleaseAll();
  // Waits until `count` requests have been held at the stall (released ones included).
  bool WaitHeld(int stall, size_t count, std::chrono::milliseconds timeout);
  // Called for every request: returns at once, or when the stall holding it is released.
  void Pass(const Request& request);

 private:
  struct Gate {
    RequestFilter filter;
    size_t let_pass = 0;
    size_t matched = 0;
    size_t held = 0;
    bool released = false;
  };

  std::mutex mutex_;
  std::condition_variable changed_;
  int next_ = 1;                 // guarded by mutex_
  std::map<int, Gate> gates_;    // guarded by mutex_
};

}  // namespace devicesim
