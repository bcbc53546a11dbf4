// The devices Corvane has announced, as corvane-host learns them from the reports it reads: ready devices (event
// type 1) with their model and iOS version, devices whose bring-up failed (type 12) with the reason, departures
// (type 8), bring-ups still under way (notice type 11), and the device monitor's start result (type 9). Used to
// pick the device a command goes to, to list devices, and to say why an awaited device did not come.
//
// Thread-compatible: one thread feeds and queries it.
#ifndef CORVANE_TOOLS_HOST_CLI_DEVICE_REGISTRY_H_
#define CORVANE_TOOLS_HOST_CLI_DEVICE_REGISTRY_H_

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hostlink/report.h"

namespace corvane_host {

struct DeviceSeen {
  int64_t number = 0;       // Corvane's number for the attached device (the events' "code")
  std::string udid;         // empty when Corvane could not read it (a device that does not trust this computer)
  std::string model;        // "iPhone14,5"
  std::string ios_version;  // "16.4.1"
  std::string name;         // from a failed bring-up's "device_name"; corvane-host learns it otherwise from 300
  bool ready = false;
  int64_t error_code = 0;   // the last bring-up failure (0: none)
};

class DeviceRegistry {
 public:
  // Takes note of any report; reports that are not device events are ignored.
  void Observe(const hostlink::Report& report);

  // The ready device `udid`, or with an empty `udid` the first device that became ready and is still there.
  const DeviceSeen* Ready(const std::string& udid) const;
  // Every device announced and still attached, in arrival order.
  const std::vector<DeviceSeen>& devices() const { return devices_; }

  // The monitor's start result, once reported (0: it runs).
  std::optional<int64_t> monitor_result() const { return monitor_result_; }
  // True while a device attached (notice 11) has neither become ready, nor failed, nor left.
  bool BringUpPending() const { return !pending_bring_ups_.empty(); }

  // Why the device `udid` (any device when empty) is not ready: what Corvane reported instead, for a message
  // such as "device X did not arrive within 30 s: <this>".
  std::string ExplainAbsence(const std::string& udid) const;

 private:
  DeviceSeen& Entry(int64_t number, const std::string& udid);
  void Remove(int64_t number);

  std::vector<DeviceSeen> devices_;
  std::set<int64_t> pending_bring_ups_;  // device numbers of notice 11 not yet resolved
  std::optional<int64_t> monitor_result_;
};

// What a bring-up error code (type 12) or a monitor start result (type 9) means to a person.
std::string BringUpErrorText(int64_t code);
std::string MonitorErrorText(int64_t code);

}  // namespace corvane_host

#endif  // CORVANE_TOOLS_HOST_CLI_DEVICE_REGISTRY_H_
