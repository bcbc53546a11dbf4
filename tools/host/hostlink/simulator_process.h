// The device simulator program (corvane-devicesim) started by the host, for the demo and for scenario tests.
//
// Start() runs `corvane-devicesim --socket PATH --profile DIR... [--detached]`, waits until the program prints
// "USBMUXD_SOCKET_ADDRESS=UNIX:PATH" (it then listens), and from then on Command() passes it line commands such as
// "attach NAME", "detach NAME", "trust NAME". Give Corvane CorvaneEnv() so that it finds the simulated devices.
//
// Thread-compatible for its callers. Internally one reader thread collects the simulator's stdout lines (so the
// simulator never blocks on a full pipe); the output calls below are safe while it runs. The destructor asks the
// simulator to quit, stops it if it does not, and removes the temporary socket folder it made.
#ifndef CORVANE_TOOLS_HOST_HOSTLINK_SIMULATOR_PROCESS_H_
#define CORVANE_TOOLS_HOST_HOSTLINK_SIMULATOR_PROCESS_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "hostlink/child_process.h"

namespace hostlink {

struct SimulatorOptions {
  std::string program;                  // empty: corvane-devicesim beside the running program
  std::string socket_path;              // empty: a fresh path in a temporary folder
  std::vector<std::string> profiles;    // profile folders, one --profile each
  bool detached = false;                // --detached: devices start detached
  std::vector<std::string> extra_args;  // appended as given
  std::string stderr_path;              // empty: inherit the host's stderr
};

class SimulatorProcess final : public ChildProcess {
 public:
  SimulatorProcess() = default;
  ~SimulatorProcess();

  // Starts the simulator and waits up to `timeout` for its address line. On failure the program is stopped and
  // last_error() says why.
  bool Start(const SimulatorOptions& options, std::chrono::milliseconds timeout);

  // "UNIX:PATH" as the simulator printed it.
  const std::string& socket_address() const { return socket_address_; }
  // The environment Corvane needs to reach the simulator.
  EnvVars CorvaneEnv() const { return {{"USBMUXD_SOCKET_ADDRESS", socket_address_}}; }

  // Sends one command line (a newline is added).
  bool Command(std::string_view line);
  // Waits for a stdout line that starts with `prefix`, among the lines after the last one an earlier call returned.
  std::optional<std::string> WaitForOutput(std::string_view prefix, std::chrono::milliseconds timeout);
  // Every stdout line so far.
  std::vector<std::string> OutputLines() const;

  // Sends "quit", waits up to `timeout`, then stops the program. Returns how it ended.
  std::optional<ExitStatus> Quit(std::chrono::milliseconds timeout = std::chrono::seconds(5));

 private:
  void ReadOutput();
  void StopReader();

  std::string socket_address_;
  std::string temp_dir_;  // made by Start() when no socket path was given; removed by the destructor
  std::thread reader_;
  std::atomic<bool> stop_reader_{false};

  mutable std::mutex mu_;
  std::condition_variable arrived_;
  std::vector<std::string> lines_;  // guarded by mu_
  size_t next_line_ = 0;            // guarded by mu_: where WaitForOutput starts looking
  bool output_ended_ = false;       // guarded by mu_
};

}  // namespace hostlink

#endif  // CORVANE_TOOLS_HOST_HOSTLINK_SIMULATOR_PROCESS_H_
