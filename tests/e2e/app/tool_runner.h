// Runs a command-line tool for a scenario test: extra environment, output collected, killed at a deadline so
// no test can hang on it.
//
// Thread safety: any thread; each call owns its child process.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct ToolRun {
  int exit_code = -1;  // -1 when it did not exit on its own
  bool timed_out = false;
  std::string output;  // standard output and standard error together
};

ToolRun RunToolWithDeadline(const std::vector<std::string>& argv,
                            const std::vector<std::pair<std::string, std::string>>& env, int timeout_ms);

}  // namespace e2e
