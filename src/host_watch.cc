#include "host_watch.h"

#include <chrono>

#include "platform/platform.h"

namespace {
constexpr auto kInterval = std::chrono::milliseconds(500);
}

HostWatch& HostWatch::Get() {
  static HostWatch* watch = new HostWatch();  // its thread runs until the process ends
  return *watch;
}

void HostWatch::Start(int64_t pid, std::function<void()> on_gone) {
  std::lock_guard<std::mutex> lock(mutex_);
  pid_ = pid;
  ++generation_;
  if (thread_.joinable()) {
    new_pid_.notify_all();
    return;
  }
  on_gone_ = std::move(on_gone);
  thread_ = std::thread([this] { Loop(); });
  thread_.detach();
}

void HostWatch::Loop() {
  for (;;) {
    int64_t pid;
    uint64_t generation;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pid = pid_;
      generation = generation_;
    }
    if (!platform::IsProcessRunning(pid)) {
      std::thread(on_gone_).detach();
      std::unique_lock<std::mutex> lock(mutex_);
      new_pid_.wait(lock, [&] { return generation_ != generation; });
    }
    std::this_thread::sleep_for(kInterval);
  }
}
