#include "host_run.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "command_json.h"
#include "command_list.h"
#include "progress_line.h"

namespace corvane_host {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Waits are cut into slices this long so that a stop signal or Corvane's exit is noticed promptly.
constexpr milliseconds kSlice(200);
constexpr milliseconds kStopGrace(3000);

std::atomic<bool> g_stop_requested{false};
void (*g_before_complain)() = nullptr;

void OnStopSignal(int) { g_stop_requested = true; }

bool ReadFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

bool StopRequested() { return g_stop_requested; }

void SetBeforeComplain(void (*hook)()) { g_before_complain = hook; }

void Complain(const std::string& message) {
  if (g_before_complain != nullptr) g_before_complain();
  std::fprintf(stderr, "corvane-host: %s\n", message.c_str());
}

HostRun::HostRun(HostOptions options)
    : options_(std::move(options)),
      printer_(PrinterOptions{options_.pretty, options_.save_dir, options_.progress}) {}

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int HostRun::Run() {
  std::error_code ec;
  if (!options_.save_dir.empty() && !std::filesystem::create_directories(options_.save_dir, ec) && ec) {
    Complain("--save " + options_.save_dir + ": " + ec.message());
    return kExitFailure;
  }
  if (!Launch()) return kExitFailure;
  if (options_.command == "start") return Start();
  if (options_.command == "send") return Send();
  if (options_.command == "devices") return Devices();
  if (options_.command == "upload") return Upload();
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
  if (!WaitForFinal(task_id, options_.send.packet_type, Timeout(), &report)) return kExitFailure;
  return FinalExitCode(report);
}

bool HostRun::WaitForFinal(uint64_t task_id, uint32_t packet_type, milliseconds timeout,
                           hostlink::Report* final_report) {
  if (finished_tasks_.count(task_id) != 0) return true;
  WaitEnd end = WaitPrinting(hostlink::FinalOf(task_id, packet_type), timeout, final_report);
  if (end == WaitEnd::kMatched) return true;
  ReportWaitEnd(end, "the final report of task " + std::to_string(task_id));
  return false;
}

int HostRun::FinalExitCode(const hostlink::Report& report) {
  if (report.header_code == hostlink::kCodeSuccess || report.header_code == hostlink::kCodeList) return kExitOk;
  Complain("task " + std::to_string(report.task_id) + " ended with header code " + std::to_string(report.header_code) +
           ", code " + std::to_string(report.code));
  return kExitCommandFailed;
}

bool HostRun::PrepareCommand(corvane_host::SendRequest* request) {
  const CommandInfo* command = FindCommand(request->packet_type);
  if (command == nullptr) return true;
  if (command->save.kind == SaveKind::kLocalFolder && !options_.save_dir.empty()) {
    std::error_code ec;
    std::string folder = std::filesystem::absolute(options_.save_dir, ec).string();
    request->json = WithStringMember(request->json, command->save.member, folder);
  }
  if (!command->names_device) return true;
  std::string udid = StringMember(request->json, "uuid").value_or(options_.udid);
  std::string found;
  if (!WaitForDevice(udid, &found)) return false;
  request->json = WithStringMember(request->json, "uuid", found);
  return true;
}

bool HostRun::WaitForDevice(const std::string& udid, std::string* found) {
  auto ready = [&](const hostlink::Report&) {
    return devices_.Ready(udid) != nullptr || (devices_.monitor_result() && *devices_.monitor_result() != 0);
  };
  hostlink::Report unused;
  WaitEnd end = ready(unused) ? WaitEnd::kMatched : WaitPrinting(ready, Timeout(), &unused);
  if (const DeviceSeen* device = devices_.Ready(udid)) {
    *found = device->udid;
    return true;
  }
  std::string what = udid.empty() ? "no device became ready" : "device " + udid + " did not become ready";
  if (end == WaitEnd::kTimedOut) what += " within " + std::to_string(options_.timeout_seconds) + " s";
  if (end == WaitEnd::kClosed) what += " before Corvane closed the connection";
  if (end == WaitEnd::kInterrupted) what += " before corvane-host was stopped";
  Complain(PrintableText(what + ": " + devices_.ExplainAbsence(udid)));
  return false;
}

bool HostRun::SendRequest(const corvane_host::SendRequest& original, uint64_t* task_id) {
  corvane_host::SendRequest request = original;
  if (!PrepareCommand(&request)) return false;
  std::string data;
  if (!request.data_file.empty() && !ReadFile(request.data_file, &data)) {
    Complain("cannot read " + request.data_file);
    return false;
  }
  *task_id = request.task_id.value_or(next_task_id_);
  next_task_id_ = std::max(next_task_id_, *task_id + 1);
  printer_.CommandSent(*task_id, request.packet_type, request.json);
  if (!connection_->SendCommand(*task_id, request.packet_type, request.json, data, request.marker)) {
    Complain(connection_->last_error());
    return false;
  }
  last_task_id_ = *task_id;
  last_packet_type_ = request.packet_type;
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
  devices_.Observe(report);
  if (report.task_id != 0 && report.is_final()) finished_tasks_.insert(report.task_id);
  // `devices` prints its list instead of the reports it reads.
  if (options_.command != "devices") printer_.Print(report);
}

void HostRun::PrintSimulatorOutput() {
  if (!simulator_) return;
  std::vector<std::string> lines = simulator_->OutputLines();
  for (; simulator_lines_shown_ < lines.size(); ++simulator_lines_shown_) {
    printer_.HideProgress();
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
