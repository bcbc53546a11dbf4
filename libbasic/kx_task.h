// KxTask: one unit of work of the task scheduler, keyed by the host's task id.
//
// A task carries a function that runs on a task-pool worker, an untyped shared data pointer (the client keeps the
// command's metadata there), an optional end function and a status. The scheduler (kx_task_schedular.h) keeps the
// run bookkeeping inside the task under the scheduler's own mutex.
//
// Thread safety: every public member may be called from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace bas {

class KxTask;
class KxTaskPackage;
class KxTaskSchedular;
using KxTaskPtr = std::shared_ptr<KxTask>;

// The status values callers exchange with the scheduler. kAborted (5) is what the host sees as "aborted".
enum class KxTaskStatus : int {
  kCreated = 0,
  kFinished = 1,    // the task is done; it leaves the scheduler once its current run ends
  kContinuing = 2,  // the task expects more packets or results; it stays registered after its run returns
  kAborted = 5,     // the task was stopped; late packets of its id are dropped
};

// Why a task that was left continuing ended without a final run of its own.
enum class KxTaskEndReason : int { kAborted = 1, kExpired = 2 };

class KxTask : public std::enable_shared_from_this<KxTask> {
 public:
  using Func = std::function<void(const KxTaskPtr&)>;
  // Called on a pool thread when a task that was left continuing is ended by the scheduler (stopped while idle,
  // or idle for too long), so that its owner can still send the command's one final answer.
  using EndFunc = std::function<void(const KxTaskPtr&, KxTaskEndReason)>;

  static KxTaskPtr Create();

  void SetTaskId(std::string id);
  void SetTaskId(uint64_t id);
  const std::string& GetTaskId() const { return id_; }

  void SetTaskFunc(Func func);
  void ResetFunc();

  void SetTaskData(std::shared_ptr<void> data);
  std::shared_ptr<void> GetTaskData() const;

  void SetEndFunc(EndFunc func);

  KxTaskStatus GetStatus() const { return status_.load(); }

  // Tells the scheduler what the task's current run means: kContinuing keeps the task registered after the run
  // returns (more packets or results are expected), kFinished ends it when the run returns (or at once when it is
  // not running), kAborted stops it as StopTask does.
  void NotifySchedular(KxTaskStatus status);

 private:
  friend class KxTaskSchedular;
  friend class KxTaskPackage;
  KxTask() = default;

  Func TakeFunc();
  EndFunc TakeEndFunc();

  std::string id_;  // set before the task is posted, constant afterwards

  mutable std::mutex mutex_;  // guards func_, data_ and end_func_
  Func func_;
  std::shared_ptr<void> data_;
  EndFunc end_func_;

  std::atomic<KxTaskStatus> status_{KxTaskStatus::kCreated};

  std::atomic<KxTaskSchedular*> schedular_{nullptr};  // set once when the task is posted

  // Scheduler bookkeeping, guarded by the scheduler's mutex.
  std::shared_ptr<KxTaskPackage> package_;
  std::deque<Func> pending_;  // runs waiting for the current one to end, in arrival order
  bool running_ = false;
  bool continuing_ = false;
  bool finish_requested_ = false;
  bool awaiting_more_ = true;  // no run has returned as the task's last yet
  bool finished_ = false;
  int64_t idle_since_ms_ = 0;
};

}  // namespace bas
