// KxTaskSchedular: keeps the live tasks by id and runs them on a task pool.
//
// The contract callers rely on:
//  - A task stays registered (FindTask finds it) from the moment its event is posted until it is finished, so
//    later packets of the same id reach the same task.
//  - Runs of one task never overlap: PostTask while a run is in progress queues the new run, and queued runs are
//    taken in arrival order once the current one returns.
//  - A task finishes exactly once: when a run returns and nothing is queued, unless the task asked to continue;
//    a continuing task ends when it notifies kFinished, when it is stopped, or when it has been idle (no run) for
//    longer than the idle limit. A task that was left continuing and is ended by the scheduler gets its end
//    function called once, so the owner can still send its final answer.
//  - StopTask marks a task aborted (status 5), drops its queued runs and remembers the id (a bounded number of
//    them), so that IsAbortTask answers true and late packets of that id can be dropped.
//  - Nothing is kept after a task finishes: its package and event functions run and the references go.
//
// Thread safety: all members may be called from any thread, including from inside a task's own run.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "libbasic/kx_task.h"
#include "libbasic/kx_task_package.h"
#include "libbasic/kx_task_pool.h"

namespace bas {

class KxTaskSchedular {
 public:
  static constexpr size_t kRememberedAborts = 4096;
  static constexpr int64_t kDefaultIdleLimitMs = 10 * 60 * 1000;

  explicit KxTaskSchedular(KxTaskPool& pool);
  ~KxTaskSchedular();
  KxTaskSchedular(const KxTaskSchedular&) = delete;
  KxTaskSchedular& operator=(const KxTaskSchedular&) = delete;

  // The process-wide scheduler, running on KxTaskPool::Get().
  static KxTaskSchedular& Get();

  // Registers every task of every package of the event and queues one run of each task's function.
  void PostTaskEvent(const KxTaskEventPtr& event);
  // Queues one more run of the task's current function (the function is taken now). Does nothing for a task
  // that is not registered any more.
  void PostTask(const KxTaskPtr& task);
  // Queues a run of `func` on the live task of this id, in one step; false (and nothing queued) when no task of
  // the id is registered any more, so the caller can start a new one.
  bool PostToTask(const std::string& id, KxTask::Func func);

  KxTaskPtr FindTask(const std::string& id) const;
  bool IsAbortTask(const std::string& id) const;
  void StopTask(const std::string& id);

  // How long a continuing task may wait for its next run before the scheduler ends it.
  void SetIdleLimitMs(int64_t ms);
  size_t LiveTaskCount() const;

 private:
  friend class KxTask;

  void Notify(const KxTaskPtr& task, KxTaskStatus status);
  void StartRunLocked(const KxTaskPtr& task);
  void RunLoop(const KxTaskPtr& task);
  // Ends the task: unregisters it and hands its end function (when asked) and the package bookkeeping to a
  // pool thread. REQUIRES: mutex_ held, the task not running.
  void FinishLocked(const KxTaskPtr& task, bool call_end, KxTaskEndReason reason);
  void RememberAbortLocked(const std::string& id);
  void ReaperLoop();

  KxTaskPool& pool_;

  mutable std::mutex mutex_;  // guards everything below and the bookkeeping fields inside each task
  std::map<std::string, KxTaskPtr> tasks_;
  std::deque<std::string> abort_order_;
  std::set<std::string> aborted_;
  int64_t idle_limit_ms_ = kDefaultIdleLimitMs;
  std::condition_variable reaper_wake_;
  bool stopping_ = false;
  std::thread reaper_;  // last: it starts with everything above in place
};

}  // namespace bas
