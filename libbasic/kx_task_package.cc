#include "libbasic/kx_task_package.h"

namespace bas {

KxTaskPackagePtr KxTaskPackage::Create(std::string id) { return KxTaskPackagePtr(new KxTaskPackage(std::move(id))); }

void KxTaskPackage::AddTask(const KxTaskPtr& task) { tasks_.push_back(task); }

void KxTaskPackage::MemberFinished(const KxTaskPackagePtr& self) {
  if (remaining_.fetch_sub(1) != 1) return;
  if (func_) func_(self);
  tasks_.clear();
  std::shared_ptr<KxTaskEvent> event = std::move(event_);
  if (event) event->PackageFinished(event);
}

KxTaskEventPtr KxTaskEvent::Create(std::string id) { return KxTaskEventPtr(new KxTaskEvent(std::move(id))); }

void KxTaskEvent::AddPackage(const KxTaskPackagePtr& package) { packages_.push_back(package); }

void KxTaskEvent::PackageFinished(const KxTaskEventPtr& self) {
  if (remaining_.fetch_sub(1) != 1) return;
  if (func_) func_(self);
  packages_.clear();
}

}  // namespace bas
