#include "libbasic/kx_task_package.h"

namespace bas {

KxTaskPackagePtr KxTaskPackage::Create(std::string id) { return KxTaskPackagePtr(new KxTaskPackage(std::move(id))); }

void KxTaskPackage::AddTask(const KxTaskPtr& task) { tasks_.push_back(task); }

std::vector<KxTaskPtr> KxTaskPackage::GetTasks() const {
  std::vector<KxTaskPtr> tasks;
  for (const std::weak_ptr<KxTask>& task : tasks_) {
    if (KxTaskPtr alive = task.lock()) tasks.push_back(std::move(alive));
  }
  return tasks;
}

void KxTaskPackage::MemberFinished(const KxTaskPackagePtr& self) {
  if (remaining_.fetch_sub(1) != 1) return;
  if (func_) func_(self);
  std::shared_ptr<KxTaskEvent> event = std::move(event_);
  if (event) event->PackageFinished(event);
}

KxTaskEventPtr KxTaskEvent::Create(std::string id) { return KxTaskEventPtr(new KxTaskEvent(std::move(id))); }

void KxTaskEvent::AddPackage(const KxTaskPackagePtr& package) { packages_.push_back(package); }

std::vector<KxTaskPackagePtr> KxTaskEvent::GetPackages() const {
  std::vector<KxTaskPackagePtr> packages;
  for (const std::weak_ptr<KxTaskPackage>& package : packages_) {
    if (KxTaskPackagePtr alive = package.lock()) packages.push_back(std::move(alive));
  }
  return packages;
}

void KxTaskEvent::PackageFinished(const KxTaskEventPtr& self) {
  if (remaining_.fetch_sub(1) != 1) return;
  if (func_) func_(self);
}

}  // namespace bas
