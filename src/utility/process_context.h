// ProcessContext: the process-wide state set at start-up.
//
// It holds the start parameters, the work folder and the two flags that change later: "quitting" (set once when
// the host process has gone; never cleared) and "logging shut down". The process folder (work folder +
// "/<executable>-<pid>/") is created on first request and removed at shutdown.
//
// Thread safety: Init is called once on the main thread before any other thread reads the context; afterwards
// every member may be called from any thread.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "utility/start_params.h"

class ProcessContext {
 public:
  static ProcessContext& Get();

  void Init(const StartParams& params, const std::string& work_folder);

  const StartParams& params() const { return params_; }
  // The work folder, without a trailing "/".
  const std::string& work_folder() const { return work_folder_; }

  // The process folder, ending in "/"; created (with its parents) when `create` is true. Empty when it could not
  // be created.
  std::string ProcessFolder(bool create);
  bool RemoveProcessFolder();

  bool IsQuitting() const { return quitting_.load(); }
  // Returns true for the caller that set the flag.
  bool SetQuitting() { return !quitting_.exchange(true); }

  bool IsLoggingShutDown() const { return logging_shut_down_.load(); }
  bool SetLoggingShutDown() { return !logging_shut_down_.exchange(true); }

 private:
  StartParams params_;
  std::string work_folder_;
  std::mutex folder_mutex_;  // serialises creating and removing the process folder
  std::atomic<bool> quitting_{false};
  std::atomic<bool> logging_shut_down_{false};
};
