// Corvane started by the host: the start parameters become its whole command line (argv[1] holds the JSON text).
//
// Thread-compatible, like ChildProcess, whose calls (pid, IsRunning, WaitExit, Kill, Stop) it offers. Destroying a
// CorvaneProcess stops a Corvane that still runs.
#ifndef CORVANE_TOOLS_HOST_HOSTLINK_CORVANE_PROCESS_H_
#define CORVANE_TOOLS_HOST_HOSTLINK_CORVANE_PROCESS_H_

#include <string>

#include "hostlink/child_process.h"
#include "hostlink/start_params.h"

namespace hostlink {

struct CorvaneOptions {
  std::string program;      // empty: the Corvane executable beside the running program (ProgramBesideSelf)
  EnvVars env;              // extra environment, e.g. the simulator's USBMUXD_SOCKET_ADDRESS
  std::string stdout_path;  // empty: inherit the host's stdout
  std::string stderr_path;  // empty: inherit the host's stderr
  bool stdout_to_stderr = false;  // Corvane's stdout goes to the host's stderr (when stdout_path is empty)
};

class CorvaneProcess final : public ChildProcess {
 public:
  // Starts the program with argv[1] = params.ToJson(). False (see last_error()) when it cannot be started.
  bool Start(const StartParams& params, const CorvaneOptions& options = {});
  // The argv[1] of the last start.
  const std::string& command_line() const { return command_line_; }

 private:
  std::string command_line_;
};

}  // namespace hostlink

#endif  // CORVANE_TOOLS_HOST_HOSTLINK_CORVANE_PROCESS_H_
