// The auto-release pool: releases that are put off to the end of a scope.
//
// A thread opens a local pool (StartLocalPool, or a BASScopedLocalPool around a task handler); objects handed to
// AutoRelease while it is open are released, newest first, when it ends. Pools nest per thread. InitPool and
// DestroyPool bracket the process; PrintLeakObject tells how many deferred releases are still waiting in pools that
// were never ended, which is a leak.
//
// Thread safety: local pools are per thread; the process-wide counters are atomic.
#pragma once

#include <cstdio>
#include <functional>

namespace bas {

class BASAutoReleasePool {
 public:
  static void InitPool();
  static void DestroyPool();
  static void StartLocalPool();
  static void EndLocalPool();
  // Defers `release` to the end of this thread's innermost local pool; without an open pool it runs at once.
  static void AutoRelease(std::function<void()> release);
  // Prints the number of releases still waiting (to `stream` unless it is null) and returns it.
  static size_t PrintLeakObject(FILE* stream);
};

// Opens a local pool for the lifetime of the object.
class BASScopedLocalPool {
 public:
  BASScopedLocalPool() { BASAutoReleasePool::StartLocalPool(); }
  ~BASScopedLocalPool() { BASAutoReleasePool::EndLocalPool(); }
  BASScopedLocalPool(const BASScopedLocalPool&) = delete;
  BASScopedLocalPool& operator=(const BASScopedLocalPool&) = delete;
};

// Hands a heap object to the innermost local pool and returns it for use until the pool ends.
template <class T>
T* AutoReleased(T* object) {
  BASAutoReleasePool::AutoRelease([object] { delete object; });
  return object;
}

}  // namespace bas
