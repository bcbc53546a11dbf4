// The `devices` command of corvane-host: the devices Corvane announces, one a line, as people list them with
// idevice_id: UDID, model, iOS version and name (asked for with command 300), or why a device is not ready.
#include <rapidjson/document.h>

#include <cstdio>

#include "host_run.h"
#include "progress_line.h"

namespace corvane_host {
namespace {

using std::chrono::milliseconds;

// Devices attached at start are announced in a burst just after the monitor starts; a device counts as absent
// only when none is under way and nothing new has come for this long.
constexpr milliseconds kQuietAfterMonitor(1000);

std::string DeviceName(const hostlink::Report& identity) {
  rapidjson::Document info;
  info.Parse(identity.info.data(), identity.info.size());
  if (!info.IsObject() || !info.HasMember("DeviceName") || !info["DeviceName"].IsString()) return {};
  return info["DeviceName"].GetString();
}

}  // namespace

int HostRun::Devices() {
  hostlink::Report report;
  auto monitor_reported = [&](const hostlink::Report&) { return devices_.monitor_result().has_value(); };
  WaitEnd end = WaitPrinting(monitor_reported, Timeout(), &report);
  if (end != WaitEnd::kMatched) {
    ReportWaitEnd(end, "the device-monitor report (type 9)");
    return kExitFailure;
  }
  if (*devices_.monitor_result() != 0) {
    Complain(devices_.ExplainAbsence(""));
    return kExitFailure;
  }
  auto deadline = std::chrono::steady_clock::now() + Timeout();
  for (;;) {
    end = WaitPrinting([](const hostlink::Report&) { return true; }, kQuietAfterMonitor, &report);
    bool quiet = end == WaitEnd::kTimedOut && !devices_.BringUpPending();
    if (quiet || end == WaitEnd::kClosed || end == WaitEnd::kInterrupted) break;
    if (std::chrono::steady_clock::now() >= deadline) break;
  }

  std::vector<DeviceSeen> seen = devices_.devices();
  if (seen.empty()) Complain("no device");
  for (DeviceSeen& device : seen) {
    if (!device.ready) {
      std::string line = device.udid + "  not ready, error " + std::to_string(device.error_code) + ": " +
                         BringUpErrorText(device.error_code);
      std::printf("%s\n", PrintableText(line).c_str());
      continue;
    }
    uint64_t task_id = 0;
    corvane_host::SendRequest ask;
    ask.packet_type = 300;
    ask.json = "{\"uuid\":\"" + device.udid + "\"}";
    if (SendRequest(ask, &task_id)) {
      auto identity_or_final = [&](const hostlink::Report& r) {
        if (r.task_id != task_id) return false;
        if (r.stage == 2 && device.name.empty()) device.name = DeviceName(r);
        return r.is_final();
      };
      WaitPrinting(identity_or_final, Timeout(), &report);
    }
    std::string line = device.udid + "  " + device.model + "  iOS " + device.ios_version + "  " + device.name;
    std::printf("%s\n", PrintableText(line).c_str());
  }
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace corvane_host
