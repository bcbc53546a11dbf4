#include "libbasic/kx_task.h"

#include <utility>

#include "libbasic/kx_task_schedular.h"

namespace bas {

KxTaskPtr KxTask::Create() { return KxTaskPtr(new KxTask()); }

void KxTask::SetTaskId(std::string id) { id_ = std::move(id); }

void KxTask::SetTaskId(uint64_t id) { id_ = std::to_string(id); }

void KxTask::SetTaskFunc(Func func) {
  std::lock_guard<std::mutex> lock(mutex_);
  func_ = std::move(func);
}

void KxTask::ResetFunc() {
  std::lock_guard<std::mutex> lock(mutex_);
  func_ = nullptr;
}

KxTask::Func KxTask::TakeFunc() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(func_, nullptr);
}

void KxTask::SetTaskData(std::shared_ptr<void> data) {
  std::lock_guard<std::mutex> lock(mutex_);
  data_ = std::move(data);
}

std::shared_ptr<void> KxTask::GetTaskData() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return data_;
}

void KxTask::SetEndFunc(EndFunc func) {
  std::lock_guard<std::mutex> lock(mutex_);
  end_func_ = std::move(func);
}

KxTask::EndFunc KxTask::TakeEndFunc() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(end_func_, nullptr);
}

void KxTask::NotifySchedular(KxTaskStatus status) {
  KxTaskSchedular* schedular = schedular_.load();
  if (schedular == nullptr) {
    status_ = status;  // never posted: the status is all there is
    return;
  }
  schedular->Notify(shared_from_this(), status);
}

}  // namespace bas
