// BASDbgReport: the crash filter.
//
// When the process receives SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT, the filter writes a text report (signal,
// faulting address, backtrace) to the registered dump path, asks the report callback for an extra file to add
// (given the dump's folder, ending in "/"), packs every file of that folder that is not already a ".zip" into
// "<dump path without .dmp>.zip", calls the clean-up callback with the dump path, and then lets the signal take
// its default course (the process ends as it would have).
//
// Thread safety: RegisterCrashFilter is called once at start-up on the main thread. The handler runs on the
// faulting thread (on the main thread with an alternate stack, so that a stack overflow there is reported too);
// it is best effort.
#pragma once

#include <string>

namespace bas {

class BASDbgReport {
 public:
  using ReportCallback = std::string (*)(const std::string& folder);
  using CleanupCallback = void (*)(const std::string& dump_path);

  static void RegisterCrashFilter(const std::string& dump_path, CleanupCallback cleanup, ReportCallback report);
};

}  // namespace bas
