// KxTaskPool: a fixed set of worker threads that run queued functions in arrival order.
//
// The process uses one pool (Get) with ten workers; tests may make their own. Work added before Activate waits in
// the queue. Stop ends the workers after the functions already running return; queued work is dropped.
//
// Thread safety: all members may be called from any thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace bas {

class KxTaskPool {
 public:
  KxTaskPool() = default;
  ~KxTaskPool();
  KxTaskPool(const KxTaskPool&) = delete;
  KxTaskPool& operator=(const KxTaskPool&) = delete;

  static KxTaskPool& Get();

  // Starts `workers` threads; a second call does nothing.
  void Activate(int workers);
  void AddQuickTask(std::function<void()> func);
  void Stop();

  size_t WorkerCount() const;

 private:
  void WorkerLoop();

  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  std::vector<std::thread> workers_;
  bool stopping_ = false;
};

}  // namespace bas
