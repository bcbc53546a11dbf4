// SyncRedirector: runs a console command and collects what it prints.
//
// The command line is split at blanks (double quotes group words) and started as a child process with its
// standard input on an empty pipe and its standard output and error on one pipe. A reader takes at most 255 bytes
// at a time until the child has ended and the pipe is drained; Run then returns the text and the exit code.
// Failures are told to the error handler with fixed texts ("Redirect console error: %x\r\n" when the child cannot
// be started, "Read stdout pipe error\r\n" when reading fails).
//
// Thread safety: one Run at a time per object; separate objects are independent.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

class SyncRedirector {
 public:
  using ErrorHandler = std::function<void(const std::string& text)>;

  explicit SyncRedirector(ErrorHandler on_error = nullptr) : on_error_(std::move(on_error)) {}

  // True when the child was started and waited for; `exit_code` is its exit status (128 + signal when a signal
  // ended it).
  bool Run(const std::string& command_line, std::string* output, int* exit_code);

  static std::vector<std::string> SplitCommandLine(const std::string& command_line);

 private:
  void ReportError(const std::string& text);
  ErrorHandler on_error_;
};

}  // namespace platform
