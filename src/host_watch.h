// HostWatch: ends the helper when the host process disappears.
//
// A thread checks every 500 ms whether the host process still runs. When it has gone (or cannot be looked up),
// a short-lived thread calls the quit callback and the watch waits for a new pid. Pid 0 always counts as running.
//
// Thread safety: Start may be called from any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class HostWatch {
 public:
  static HostWatch& Get();

  // The first call stores the pid and the callback and starts watching; a later call watches a new pid (and wakes
  // a watch that waits after a departure).
  void Start(int64_t pid, std::function<void()> on_gone);

 private:
  void Loop();

  std::mutex mutex_;  // guards everything below
  std::condition_variable new_pid_;
  int64_t pid_ = 0;
  uint64_t generation_ = 0;  // counts the pids given, so a waiting watch sees a new one
  std::function<void()> on_gone_;
  std::thread thread_;
};
