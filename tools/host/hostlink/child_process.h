// A program started by the host (Corvane, the device simulator, or a stand-in in tests) and its life: arguments,
// extra environment, optional capture of its output, waiting with a timeout, signals.
//
// Thread-compatible: one thread at a time. The destructor stops a child that still runs (SIGTERM, then SIGKILL after
// a short grace) and reaps it, so no process outlives its owner. File descriptors the host opens are close-on-exec,
// so a child inherits only its standard streams.
#ifndef CORVANE_TOOLS_HOST_HOSTLINK_CHILD_PROCESS_H_
#define CORVANE_TOOLS_HOST_HOSTLINK_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hostlink {

using EnvVars = std::vector<std::pair<std::string, std::string>>;

struct SpawnOptions {
  std::string program;            // path of the executable (no PATH search)
  std::vector<std::string> args;  // argv[1], argv[2], ...; argv[0] is the program path
  EnvVars env;                    // set or replace these in the host's environment
  std::string stdout_path;        // empty: inherit the host's stdout; else truncate and write there
  std::string stderr_path;        // empty: inherit; the same path as stdout_path shares one file
  bool stdout_to_stderr = false;  // send the child's stdout to the host's stderr (keeps the host's stdout clean)
  bool stdin_channel = false;     // give the child a stdin that WriteStdin() feeds
  bool stdout_channel = false;    // give the child a stdout that stdout_fd() reads (stdout_path is then unused)
};

// How a child ended: exited with a code, or was ended by a signal.
struct ExitStatus {
  int exit_code = -1;  // -1 when ended by a signal
  int signal = 0;      // 0 when it exited
  bool exited() const { return signal == 0; }
};

// The path of program `name` beside the running executable; when it is not there but ../bin/`name` is (a test binary
// in build/tests looking for a program in build/bin), that path. Falls back to the first form.
std::string ProgramBesideSelf(std::string_view name);

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts the program. False (see last_error()) when it cannot be started, for example when it does not exist.
  bool Spawn(const SpawnOptions& options);

  pid_t pid() const { return pid_; }
  bool IsRunning();
  // Waits up to `timeout` for the child to end; nullopt when it still runs (or was never started).
  std::optional<ExitStatus> WaitExit(std::chrono::milliseconds timeout);
  bool Kill(int signal = SIGKILL);
  // SIGTERM, up to `grace` to end, then SIGKILL. Returns how it ended, nullopt when never started.
  std::optional<ExitStatus> Stop(std::chrono::milliseconds grace = std::chrono::seconds(2));

  // Writes to the child's stdin channel (SpawnOptions::stdin_channel); false when the child closed it.
  bool WriteStdin(std::string_view bytes);
  void CloseStdin();
  // The read end of the child's stdout channel (SpawnOptions::stdout_channel), or -1.
  int stdout_fd() const { return stdout_fd_; }

  const std::string& last_error() const { return last_error_; }

 protected:
  std::string last_error_;

 private:
  void CloseChannels();

  pid_t pid_ = -1;
  std::optional<ExitStatus> status_;  // set once the child has been reaped
  int stdin_fd_ = -1;
  int stdout_fd_ = -1;
};

}  // namespace hostlink

#endif  // CORVANE_TOOLS_HOST_HOSTLINK_CHILD_PROCESS_H_
