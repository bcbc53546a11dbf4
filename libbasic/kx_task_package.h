// KxTaskPackage and KxTaskEvent: groups of tasks whose own function runs once every member has finished.
//
// The client builds one event holding one package holding one task per new command, so that the package's and
// the event's finish hooks run exactly once when the command's task ends. Membership is fixed before the event is
// posted; the counters are then driven by the scheduler.
//
// Thread safety: AddTask/AddPackage before posting only; the finish bookkeeping is internally synchronised.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "libbasic/kx_task.h"

namespace bas {

class KxTaskEvent;
using KxTaskPackagePtr = std::shared_ptr<KxTaskPackage>;
using KxTaskEventPtr = std::shared_ptr<KxTaskEvent>;

class KxTaskPackage {
 public:
  using Func = std::function<void(const KxTaskPackagePtr&)>;

  static KxTaskPackagePtr Create(std::string id);

  const std::string& GetId() const { return id_; }
  void AddTask(const KxTaskPtr& task);
  void SetFunc(Func func) { func_ = std::move(func); }
  const std::vector<KxTaskPtr>& GetTasks() const { return tasks_; }

 private:
  friend class KxTaskEvent;
  friend class KxTaskSchedular;
  explicit KxTaskPackage(std::string id) : id_(std::move(id)) {}

  // Called by the scheduler once per finished member; the last one runs the package's function and tells the
  // event. The member list is released then, which breaks the task-to-package reference.
  void MemberFinished(const KxTaskPackagePtr& self);

  std::string id_;
  std::vector<KxTaskPtr> tasks_;
  Func func_;
  std::shared_ptr<KxTaskEvent> event_;
  std::atomic<size_t> remaining_{0};
};

class KxTaskEvent {
 public:
  using Func = std::function<void(const KxTaskEventPtr&)>;

  static KxTaskEventPtr Create(std::string id);

  const std::string& GetId() const { return id_; }
  void AddPackage(const KxTaskPackagePtr& package);
  void SetFunc(Func func) { func_ = std::move(func); }
  const std::vector<KxTaskPackagePtr>& GetPackages() const { return packages_; }

 private:
  friend class KxTaskPackage;
  friend class KxTaskSchedular;
  explicit KxTaskEvent(std::string id) : id_(std::move(id)) {}

  void PackageFinished(const KxTaskEventPtr& self);

  std::string id_;
  std::vector<KxTaskPackagePtr> packages_;
  Func func_;
  std::atomic<size_t> remaining_{0};
};

}  // namespace bas
