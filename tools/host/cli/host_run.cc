#include "host_run.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "report_format.h"

namespace corvane_host {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Waits are cut into slices this long so that a stop signal or Corvane's exit is noticed promptly.
constexpr milliseconds kSlice(200);
constexpr milliseconds kStopGrace(3000);

std::atomic<bool> g_stop_requested{false};

void OnStopSignal(int) { g_stop_requested = true; }

bool ReadFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

bool StopRequested() { return g_stop_requested; }

void Complain(const std::string& message) { std::fprintf(stderr, "corvane-host: %s\n", message.c_str()); }

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int HostRun::Run() {
  if (!Launch()) return kExitFailure;
  if (options_.command == "start") return Start();
  if (options_.command == "send") return Send();
  return Session();
}

bool HostRun::BuildStartParams(hostlink::StartParams* params) {
  *params = hostlink::StartParams::ForListener(listener_.port());
  for (const std::string& item : options_.params) {
    size_t raw = item.find(":=");
    size_t eq = item.find('=');
    std::string error;
    if (raw != std::string::npos && raw < eq) {
      std::string key = item.substr(0, raw);
      params->raw[hostlink::StartParams::FullKey(key).value_or(key)] = item.substr(raw + 2);
    } else if (eq == std::string::npos || !params->Set(item.substr(0, eq), item.substr(eq + 1), &error)) {
      Complain("--param " + item + ": " + (error.empty() ? "expected KEY=VALUE or KEY:=JSON" : error));
      return false;
    }
  }
  for (const std::string& key : options_.omitted) {
    params->omitted.insert(hostlink::StartParams::FullKey(key).value_or(key));
  }
  return true;
}

bool HostRun::Launch() {
  if (!listener_.Listen()) {
    Complain(listener_.last_error());
    return false;
  }
  hostlink::StartParams params;
  if (!BuildStartParams(&params)) return false;

  hostlink::CorvaneOptions corvane_options;
  corvane_options.program = options_.corvane_path;
  if (!options_.simulator_profiles.empty()) {
    simulator_ = std::make_unique<hostlink::SimulatorProcess>();
    hostlink::SimulatorOptions sim_options;
    sim_options.program = options_.simulator_path;
    sim_options.profiles = options_.simulator_profiles;
    sim_options.detached = options_.detached;
    if (!simulator_->Start(sim_options, Timeout())) {
      Complain("device simulator: " + simulator_->last_error());
      return false;
    }
    corvane_options.env = simulator_->CorvaneEnv();
  }
  if (options_.corvane_output.empty()) {
    corvane_options.stdout_to_stderr = true;  // stdout carries only reports
  } else {
    corvane_options.stdout_path = corvane_options.stderr_path = options_.corvane_output;
  }
  if (!corvane_.Start(params, corvane_options)) {
    Complain(corvane_.last_error());
    return false;
  }

  auto deadline = Clock::now() + Timeout();
  while (!connection_) {
    if (g_stop_requested) {
      Complain("stopped before Corvane connected");
      return false;
    }
    if (!corvane_.IsRunning()) {
      auto status = corvane_.WaitExit(milliseconds(0));
      Complain("Corvane ended before it connected (" +
               (status && status->exited() ? "exit code " + std::to_string(status->exit_code)
                                           : "signal " + std::to_string(status ? status->signal : 0)) +
               ")");
      return false;
    }
    if (Clock::now() >= deadline) {
      Complain("Corvane did not connect within " + std::to_string(options_.timeout_seconds) + " s");
      return false;
    }
    connection_ = listener_.Accept(kSlice);
  }
  listener_.Close();
  return true;
}

int HostRun::Start() {
  std::set<uint32_t> seen;
  hostlink::Report start_report;
  auto both_seen = [&](const hostlink::Report& r) {
    if (r.packet_type == 19) start_report = r;
    if (r.packet_type == 19 || r.packet_type == 9) seen.insert(r.packet_type);
    return seen.size() == 2;
  };
  hostlink::Report last;
  WaitEnd end = WaitPrinting(both_seen, Timeout(), &last);
  if (end != WaitEnd::kMatched) {
    ReportWaitEnd(end, seen.count(19) == 0 ? "the start report (type 19)" : "the device-monitor report (type 9)");
    return kExitFailure;
  }
  if (start_report.header_code != hostlink::kCodeSuccess) {
    Complain("the start report has header code " + std::to_string(start_report.header_code));
    return kExitCommandFailed;
  }
  return kExitOk;
}

int HostRun::Send() {
  hostlink::Report report;
  WaitEnd end = WaitPrinting(hostlink::OfType(19), Timeout(), &report);
  if (end != WaitEnd::kMatched) {
    ReportWaitEnd(end, "the start report (type 19)");
    return kExitFailure;
  }
  uint64_t task_id = 0;
  if (!SendRequest(options_.send, &task_id)) return kExitFailure;
  end = WaitPrinting(hostlink::FinalOf(task_id, options_.send.packet_type), Timeout(), &report);
  if (end != WaitEnd::kMatched) {
    ReportWaitEnd(end, "the final report of task " + std::to_string(task_id));
    return kExitFailure;
  }
  if (report.header_code != hostlink::kCodeSuccess) {
    Complain("task " + std::to_string(task_id) + " ended with header code " + std::to_string(report.header_code) +
             ", code " + std::to_string(report.code));
    return kExitCommandFailed;
  }
  return kExitOk;
}

bool HostRun::SendRequest(const corvane_host::SendRequest& request, uint64_t* task_id) {
  std::string data;
  if (!request.data_file.empty() && !ReadFile(request.data_file, &data)) {
    Complain("cannot read " + request.data_file);
    return false;
  }
  *task_id = request.task_id.value_or(next_task_id_);
  next_task_id_ = std::max(next_task_id_, *task_id + 1);
  if (!connection_->SendCommand(*task_id, request.packet_type, request.json, data, request.marker)) {
    Complain(connection_->last_error());
    return false;
  }
  return true;
}

HostRun::WaitEnd HostRun::WaitPrinting(const hostlink::ReportPredicate& match, milliseconds timeout,
                                       hostlink::Report* found) {
  auto deadline = Clock::now() + timeout;
  for (;;) {
    if (g_stop_requested) return WaitEnd::kInterrupted;
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    std::optional<hostlink::Report> report = connection_->ReadReport(std::clamp(left, milliseconds(0), kSlice));
    PrintSimulatorOutput();
    if (report) {
      Print(*report);
      if (match(*report)) {
        *found = std::move(*report);
        return WaitEnd::kMatched;
      }
      continue;
    }
    if (connection_->peer_closed()) return WaitEnd::kClosed;
    if (Clock::now() >= deadline) return WaitEnd::kTimedOut;
  }
}

void HostRun::PrintArrived() {
  while (auto report = connection_->ReadReport(milliseconds(0))) Print(*report);
  PrintSimulatorOutput();
}

void HostRun::ReportWaitEnd(WaitEnd end, const std::string& what) {
  switch (end) {
    case WaitEnd::kTimedOut:
      Complain("timed out waiting for " + what);
      break;
    case WaitEnd::kClosed:
      Complain("Corvane closed the connection while waiting for " + what);
      break;
    case WaitEnd::kInterrupted:
      Complain("stopped while waiting for " + what);
      break;
    case WaitEnd::kMatched:
      break;
  }
}

void HostRun::Print(const hostlink::Report& report) {
  std::string text = FormatReport(report, options_.pretty);
  text.push_back('\n');
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void HostRun::PrintSimulatorOutput() {
  if (!simulator_) return;
  std::vector<std::string> lines = simulator_->OutputLines();
  for (; simulator_lines_shown_ < lines.size(); ++simulator_lines_shown_) {
    std::fprintf(stderr, "devicesim: %s\n", lines[simulator_lines_shown_].c_str());
  }
}

void HostRun::Shutdown() {
  // Corvane also quits by itself once corvane-host is gone; stopping it here means nothing outlives the run.
  corvane_.Stop(kStopGrace);
  if (connection_) connection_->Close();
  if (simulator_) simulator_->Quit();
}

}  // namespace corvane_host
