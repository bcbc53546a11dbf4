// One run of corvane-host: listen, start the simulator (when asked) and Corvane, accept Corvane's connection, carry
// out the command (start, devices, send, upload or session), print every report to stdout (see ReportPrinter), and
// stop everything it started.
//
// Single-threaded. SIGINT and SIGTERM end a run cleanly: waits notice them within a fraction of a second.
#ifndef CORVANE_TOOLS_HOST_CLI_HOST_RUN_H_
#define CORVANE_TOOLS_HOST_CLI_HOST_RUN_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "hostlink/connection.h"
#include "hostlink/corvane_process.h"
#include "hostlink/listener.h"
#include "device_registry.h"
#include "hostlink/simulator_process.h"
#include "options.h"
#include "report_printer.h"

namespace corvane_host {

// Exit codes of corvane-host.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCommandFailed = 3;

// Makes SIGINT and SIGTERM request the end of the run instead of killing corvane-host outright.
void InstallStopSignals();
// True once SIGINT or SIGTERM has arrived.
bool StopRequested();

class HostRun {
 public:
  explicit HostRun(HostOptions options);
  ~HostRun() { Shutdown(); }

  // Carries out options.command and returns the exit code.
  int Run();

 private:
  enum class WaitEnd { kMatched, kTimedOut, kClosed, kInterrupted };

  bool Launch();
  bool BuildStartParams(hostlink::StartParams* params);
  int Start();
  int Send();
  int Session();
  int Devices();
  int Upload();
  // Session: runs one line; false when the line failed (the session goes on).
  bool SessionLine(const std::string& line, bool* quit);
  void Shutdown();

  // Prints every report until `match` accepts one (stored in *found), the time is up, the connection closes, or a
  // stop signal arrives.
  WaitEnd WaitPrinting(const hostlink::ReportPredicate& match, std::chrono::milliseconds timeout,
                       hostlink::Report* found);
  // Prints the reports already received, without waiting.
  void PrintArrived();
  // Sends the request under its task id (or the next free one); stores the id used. A command that names a
  // device first waits for it (PrepareCommand).
  bool SendRequest(const SendRequest& request, uint64_t* task_id);
  // Fills what the command's JSON leaves out ("uuid", a --save folder) and waits for its device to be ready.
  bool PrepareCommand(corvane_host::SendRequest* request);
  // Waits until the device `udid` (any device when empty) is ready; stores its UDID. On failure says which
  // device did not come and what Corvane reported instead.
  bool WaitForDevice(const std::string& udid, std::string* found);
  // Waits for the final report of the task; false (after saying why) when it did not come.
  bool WaitForFinal(uint64_t task_id, uint32_t packet_type, std::chrono::milliseconds timeout,
                    hostlink::Report* final_report);
  // The exit code for a command's final report, complaining when it failed.
  int FinalExitCode(const hostlink::Report& final_report);
  // Writes the stderr message for a wait that did not match.
  void ReportWaitEnd(WaitEnd end, const std::string& what);
  void Print(const hostlink::Report& report);
  void PrintSimulatorOutput();
  std::chrono::milliseconds Timeout() const { return std::chrono::seconds(options_.timeout_seconds); }

  HostOptions options_;
  ReportPrinter printer_;
  DeviceRegistry devices_;
  hostlink::HostListener listener_;
  std::unique_ptr<hostlink::SimulatorProcess> simulator_;
  hostlink::CorvaneProcess corvane_;
  std::unique_ptr<hostlink::Connection> connection_;
  uint64_t next_task_id_ = 2;
  uint64_t last_task_id_ = 0;  // the last command sent, for the session's `wait`
  uint32_t last_packet_type_ = 0;
  std::set<uint64_t> finished_tasks_;  // tasks whose final report has arrived
  size_t simulator_lines_shown_ = 0;
};

// Writes "corvane-host: <message>" to stderr, after calling the hook SetBeforeComplain gave (if any).
void Complain(const std::string& message);
void SetBeforeComplain(void (*hook)());

}  // namespace corvane_host

#endif  // CORVANE_TOOLS_HOST_CLI_HOST_RUN_H_
