// KxTaskPackage and KxTaskEvent: groups of tasks whose own function runs once every member has finished.
//
// The client builds one event holding one package holding one task per new command, so that the package's and
// the event's finish hooks run exactly once when the command's task ends. Membership is fixed before the event is
// posted; the counters are then driven by the scheduler.
//
// Ownership runs one way, so that nothing is kept alive by a cycle even when a group never completes: a task
// holds its package and a package its event; a package knows its tasks and an event its packages only weakly.
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
  // The members that are still alive.
  std::vector<KxTaskPtr> GetTasks() const;
  size_t TaskCount() const { return tasks_.size(); }

 private:
  friend class KxTaskEvent;
  friend class KxTaskSchedular;
  explicit KxTaskPackage(std::string id) : id_(std::move(id)) {}

  // Called by the scheduler once per finished member; the last one runs the package's function and tells the
  // event.
  void MemberFinished(const KxTaskPackagePtr& self);

  std::string id_;
  std::vector<std::weak_ptr<KxTask>> tasks_;
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
  // The packages that are still alive.
  std::vector<KxTaskPackagePtr> GetPackages() const;
  size_t PackageCount() const { return packages_.size(); }

 private:
  friend class KxTaskPackage;
  friend class KxTaskSchedular;
  explicit KxTaskEvent(std::string id) : id_(std::move(id)) {}

  void PackageFinished(const KxTaskEventPtr& self);

  std::string id_;
  std::vector<std::weak_ptr<KxTaskPackage>> packages_;
  Func func_;
  std::atomic<size_t> remaining_{0};
};

}  // namespace bas
