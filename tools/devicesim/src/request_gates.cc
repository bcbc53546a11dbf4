#include "request_gates.h"

namespace devicesim {

int RequestGates::Stall(const RequestFilter& filter, size_t let_pass) {
  std::lock_guard<std::mutex> lock(mutex_);
  int stall = next_++;
  gates_[stall] = Gate{filter, let_pass};
  return stall;
}

void RequestGates::Release(int stall) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto gate = gates_.find(stall);
    if (gate == gates_.end()) return;
    gate->second.released = true;
  }
  changed_.notify_all();
}

void RequestGates::ReleaseAll() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [stall, gate] : gates_) gate.released = true;
  }
  changed_.notify_all();
}

bool RequestGates::WaitHeld(int stall, size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    auto gate = gates_.find(stall);
    return gate != gates_.end() && gate->second.held >= count;
  });
}

void RequestGates::Pass(const Request& request) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (auto& [stall, gate] : gates_) {
    if (gate.released || !gate.filter.Matches(request)) continue;
    if (++gate.matched <= gate.let_pass) continue;
    ++gate.held;
    changed_.notify_all();
    Gate& holding = gate;
    changed_.wait(lock, [&holding] { return holding.released; });
    return;
  }
}

}  // namespace devicesim
