#include "libbasic/auto_release_pool.h"

#include <atomic>
#include <vector>

namespace bas {
namespace {

std::atomic<size_t> g_waiting{0};

struct ThreadPools {
  std::vector<std::vector<std::function<void()>>> stack;
};

ThreadPools& Pools() {
  thread_local ThreadPools pools;
  return pools;
}

}  // namespace

void BASAutoReleasePool::InitPool() { g_waiting = 0; }

void BASAutoReleasePool::DestroyPool() {
  while (!Pools().stack.empty()) EndLocalPool();
}

void BASAutoReleasePool::StartLocalPool() { Pools().stack.emplace_back(); }

void BASAutoReleasePool::EndLocalPool() {
  ThreadPools& pools = Pools();
  if (pools.stack.empty()) return;
  std::vector<std::function<void()>> releases = std::move(pools.stack.back());
  pools.stack.pop_back();
  for (auto it = releases.rbegin(); it != releases.rend(); ++it) {
    (*it)();
    --g_waiting;
  }
}

void BASAutoReleasePool::AutoRelease(std::function<void()> release) {
  ThreadPools& pools = Pools();
  if (pools.stack.empty()) {
    release();
    return;
  }
  pools.stack.back().push_back(std::move(release));
  ++g_waiting;
}

size_t BASAutoReleasePool::PrintLeakObject(FILE* stream) {
  size_t waiting = g_waiting.load();
  if (stream != nullptr && waiting != 0) std::fprintf(stream, "auto-release pool: %zu objects not released\n", waiting);
  return waiting;
}

}  // namespace bas
