#include "libbasic/kx_task_schedular.h"

#include <chrono>
#include <vector>

namespace bas {
namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

KxTaskSchedular::KxTaskSchedular(KxTaskPool& pool) : pool_(pool), reaper_([this] { ReaperLoop(); }) {}

KxTaskSchedular::~KxTaskSchedular() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  reaper_wake_.notify_all();
  reaper_.join();
}

KxTaskSchedular& KxTaskSchedular::Get() {
  // Never destroyed: pool workers may still run tasks while the process exits.
  static KxTaskSchedular* schedular = new KxTaskSchedular(KxTaskPool::Get());
  return *schedular;
}

void KxTaskSchedular::PostTaskEvent(const KxTaskEventPtr& event) {
  std::vector<KxTaskPackagePtr> empty_packages;
  std::lock_guard<std::mutex> lock(mutex_);
  event->remaining_ = event->PackageCount();
  for (const KxTaskPackagePtr& package : event->GetPackages()) {
    package->event_ = event;
    package->remaining_ = package->TaskCount();
    if (package->TaskCount() == 0) empty_packages.push_back(package);
    for (const KxTaskPtr& task : package->GetTasks()) {
      task->schedular_ = this;
      task->package_ = package;
      tasks_[task->GetTaskId()] = task;
      if (KxTask::Func func = task->TakeFunc()) task->pending_.push_back(std::move(func));
      StartRunLocked(task);
    }
  }
  // A package without members is finished as soon as it is posted.
  for (const KxTaskPackagePtr& package : empty_packages) {
    package->remaining_ = 1;
    pool_.AddQuickTask([package] { package->MemberFinished(package); });
  }
}

void KxTaskSchedular::PostTask(const KxTaskPtr& task) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (task->finished_ || task->schedular_.load() != this) return;
  if (KxTask::Func func = task->TakeFunc()) task->pending_.push_back(std::move(func));
  StartRunLocked(task);
}

bool KxTaskSchedular::PostToTask(const std::string& id, KxTask::Func func) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = tasks_.find(id);
  if (it == tasks_.end() || it->second->finished_) return false;
  it->second->pending_.push_back(std::move(func));
  StartRunLocked(it->second);
  return true;
}

KxTaskPtr KxTaskSchedular::FindTask(const std::string& id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = tasks_.find(id);
  return it == tasks_.end() ? nullptr : it->second;
}

bool KxTaskSchedular::IsAbortTask(const std::string& id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return aborted_.count(id) != 0;
}

void KxTaskSchedular::StopTask(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  RememberAbortLocked(id);
  auto it = tasks_.find(id);
  if (it == tasks_.end()) return;
  KxTaskPtr task = it->second;
  task->status_ = KxTaskStatus::kAborted;
  task->pending_.clear();
  // A running task ends when its run returns; an idle one ends now.
  if (!task->running_) FinishLocked(task, task->awaiting_more_, KxTaskEndReason::kAborted);
}

void KxTaskSchedular::SetIdleLimitMs(int64_t ms) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_limit_ms_ = ms;
  }
  reaper_wake_.notify_all();
}

size_t KxTaskSchedular::LiveTaskCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tasks_.size();
}

void KxTaskSchedular::Notify(const KxTaskPtr& task, KxTaskStatus status) {
  if (status == KxTaskStatus::kAborted) {
    StopTask(task->GetTaskId());
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (task->finished_) return;
  switch (status) {
    case KxTaskStatus::kContinuing:
      task->continuing_ = true;
      task->finish_requested_ = false;
      task->idle_since_ms_ = NowMs();
      break;
    case KxTaskStatus::kFinished:
      task->continuing_ = false;
      task->finish_requested_ = true;
      if (!task->running_) {
        task->awaiting_more_ = false;
        FinishLocked(task, false, KxTaskEndReason::kAborted);
      }
      break;
    default:
      break;
  }
}

void KxTaskSchedular::StartRunLocked(const KxTaskPtr& task) {
  if (task->running_ || task->pending_.empty()) return;
  task->running_ = true;
  pool_.AddQuickTask([this, task] { RunLoop(task); });
}

void KxTaskSchedular::RunLoop(const KxTaskPtr& task) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!task->pending_.empty()) {
    KxTask::Func func = std::move(task->pending_.front());
    task->pending_.pop_front();
    // Each run says for itself whether the task goes on.
    task->continuing_ = false;
    task->finish_requested_ = false;
    lock.unlock();
    func(task);
    func = nullptr;
    lock.lock();
    task->awaiting_more_ = task->continuing_;
    // A task that said it is finished takes no further runs.
    if (task->finish_requested_) task->pending_.clear();
  }
  task->running_ = false;
  if (task->finished_) return;
  if (task->status_ == KxTaskStatus::kAborted) {
    FinishLocked(task, task->awaiting_more_, KxTaskEndReason::kAborted);
  } else if (task->continuing_) {
    task->idle_since_ms_ = NowMs();
  } else {
    FinishLocked(task, false, KxTaskEndReason::kAborted);
  }
}

void KxTaskSchedular::FinishLocked(const KxTaskPtr& task, bool call_end, KxTaskEndReason reason) {
  task->finished_ = true;
  task->continuing_ = false;
  if (task->status_ != KxTaskStatus::kAborted) task->status_ = KxTaskStatus::kFinished;
  auto it = tasks_.find(task->GetTaskId());
  if (it != tasks_.end() && it->second == task) tasks_.erase(it);
  KxTaskPackagePtr package = std::move(task->package_);
  KxTask::EndFunc end = call_end ? task->TakeEndFunc() : nullptr;
  task->TakeEndFunc();  // whatever the end function captured is released with the task
  // The owner's end function and the group bookkeeping run outside the scheduler's lock, on a pool thread.
  pool_.AddQuickTask([task, package, end = std::move(end), reason] {
    if (end) end(task, reason);
    if (package) package->MemberFinished(package);
  });
}

void KxTaskSchedular::RememberAbortLocked(const std::string& id) {
  if (!aborted_.insert(id).second) return;
  abort_order_.push_back(id);
  if (abort_order_.size() > kRememberedAborts) {
    aborted_.erase(abort_order_.front());
    abort_order_.pop_front();
  }
}

void KxTaskSchedular::ReaperLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    int64_t check_every_ms = std::min<int64_t>(1000, std::max<int64_t>(10, idle_limit_ms_ / 4));
    reaper_wake_.wait_for(lock, std::chrono::milliseconds(check_every_ms));
    if (stopping_) return;
    int64_t now = NowMs();
    std::vector<KxTaskPtr> expired;
    for (const auto& [id, task] : tasks_) {
      if (!task->running_ && task->continuing_ && now - task->idle_since_ms_ >= idle_limit_ms_) {
        expired.push_back(task);
      }
    }
    for (const KxTaskPtr& task : expired) FinishLocked(task, true, KxTaskEndReason::kExpired);
  }
}

}  // namespace bas
