// TaskMetaData: what the client attaches to each command's task.
//
// The packet type and the socket of the connection the command arrived on are set at intake and do not change;
// the uuid is set once the command's device is known. The command front door also keeps here whether the task's
// one final report has gone out, and what a command that waits for more packets must release when its task ends
// without one (stopped while idle, or idle for too long).
//
// Thread safety: every member may be called from any thread; the mutable fields are guarded by `mutex_`.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

struct TaskMetaData {
  TaskMetaData(uint32_t type, int connection_socket) : packet_type(type), socket(connection_socket) {}

  const uint32_t packet_type;
  const int socket;

  std::string uuid() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return uuid_;
  }
  void set_uuid(std::string uuid) {
    std::lock_guard<std::mutex> lock(mutex_);
    uuid_ = std::move(uuid);
  }

  // True for exactly one caller: the one that may send the task's final report.
  bool ClaimFinalReport() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (final_reported_) return false;
    final_reported_ = true;
    return true;
  }
  // A packet that reaches the task after its final report starts a new command: the host may use a task id
  // again as soon as it has the answer, before the scheduler has let the old task go.
  void StartAfterFinalReport() {
    std::lock_guard<std::mutex> lock(mutex_);
    final_reported_ = false;
  }
  bool final_reported() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return final_reported_;
  }

  // What to release (device files of a transfer, say) when the task ends; replaced by each run that continues.
  void set_release(std::function<void()> release) {
    std::lock_guard<std::mutex> lock(mutex_);
    release_ = std::move(release);
  }
  std::function<void()> TakeRelease() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(release_, nullptr);
  }

 private:
  mutable std::mutex mutex_;
  std::string uuid_;
  bool final_reported_ = false;
  std::function<void()> release_;
};
