#include "device_registry.h"

#include <rapidjson/document.h>

#include <algorithm>

#include "hostlink/packet.h"

namespace corvane_host {
namespace {

constexpr uint32_t kTypeDeviceReady = 1;
constexpr uint32_t kTypeDeviceGone = 8;
constexpr uint32_t kTypeMonitorStart = 9;
constexpr uint32_t kTypeAttachedNotice = 11;
constexpr uint32_t kTypeBringUpFailed = 12;

std::string Member(const rapidjson::Document& doc, const char* key) {
  if (!doc.IsObject()) return {};
  auto it = doc.FindMember(key);
  return it != doc.MemberEnd() && it->value.IsString() ? it->value.GetString() : std::string();
}

int64_t IntMember(const rapidjson::Document& doc, const char* key) {
  if (!doc.IsObject()) return 0;
  auto it = doc.FindMember(key);
  return it != doc.MemberEnd() && it->value.IsInt64() ? it->value.GetInt64() : 0;
}

}  // namespace

std::string BringUpErrorText(int64_t code) {
  switch (code) {
    case 3: return "its iOS is older than 4.2";
    case 12: return "its file service could not be started";
    case 17: return "its file service information could not be read";
    case 24: return "it could not be connected";
    case 25: return "it does not trust this computer yet: unlock it and answer \"Trust\" on it";
    case 26: return "its pairing record did not validate";
    case 27: return "no session could be started with it";
    case 48: return "it is locked with a passcode: unlock it";
    case 49: return "no session could be started with it";
    default: return "its bring-up failed";
  }
}

std::string MonitorErrorText(int64_t code) {
  switch (code) {
    case 9: return "the device libraries (libimobiledevice, libusbmuxd) could not be loaded";
    case 10: return "the usbmuxd service is not running";
    case 11: return "subscribing to device notifications failed";
    default: return "the device monitor did not start";
  }
}

void DeviceRegistry::Observe(const hostlink::Report& report) {
  if (report.task_id != 0 && report.packet_type != kTypeMonitorStart) return;
  rapidjson::Document info;
  if (report.has_info) info.Parse(report.info.data(), report.info.size());
  switch (report.packet_type) {
    case kTypeMonitorStart:
      monitor_result_ = IntMember(info, "error_code");
      break;
    case kTypeAttachedNotice:
      pending_bring_ups_.insert(report.code);
      break;
    case kTypeDeviceReady: {
      pending_bring_ups_.erase(report.code);
      DeviceSeen& device = Entry(report.code, report.uuid);
      device.ready = true;
      device.error_code = 0;
      device.model = Member(info, "Model");
      device.ios_version = Member(info, "FirmVersion");
      break;
    }
    case kTypeBringUpFailed: {
      pending_bring_ups_.erase(report.code);
      DeviceSeen& device = Entry(report.code, report.uuid);
      device.ready = false;
      device.error_code = IntMember(info, "error_code");
      if (!Member(info, "device_name").empty()) device.name = Member(info, "device_name");
      break;
    }
    case kTypeDeviceGone:
      pending_bring_ups_.erase(report.code);
      // Header code 2: a device that was ready has gone; header code 1: one left before it became ready, named by
      // its number only.
      if (report.header_code == hostlink::kCodeProgress) Remove(report.code);
      break;
    default:
      break;
  }
}

const DeviceSeen* DeviceRegistry::Ready(const std::string& udid) const {
  for (const DeviceSeen& device : devices_) {
    if (device.ready && (udid.empty() || device.udid == udid)) return &device;
  }
  return nullptr;
}

std::string DeviceRegistry::ExplainAbsence(const std::string& udid) const {
  if (monitor_result_ && *monitor_result_ != 0) {
    return "Corvane's device monitor did not start (error " + std::to_string(*monitor_result_) + ": " +
           MonitorErrorText(*monitor_result_) + ")";
  }
  auto state = [](const DeviceSeen& device) {
    std::string who = device.udid.empty() ? "a device" : device.udid;
    if (!device.name.empty()) who = device.name + (device.udid.empty() ? "" : " (" + device.udid + ")");
    if (device.ready) return who + " is ready";
    return who + " is not ready, error " + std::to_string(device.error_code) + ": " +
           BringUpErrorText(device.error_code);
  };
  std::string reported;
  for (const DeviceSeen& device : devices_) {
    if (!udid.empty() && device.udid == udid) return "Corvane reported " + state(device);
    reported += (reported.empty() ? "" : "; ") + state(device);
  }
  if (!reported.empty()) return "Corvane reported instead: " + reported;
  if (BringUpPending()) return "a device is attached but its bring-up has not finished";
  if (!monitor_result_) return "Corvane's device monitor has not reported yet";
  return "Corvane reported no device";
}

DeviceSeen& DeviceRegistry::Entry(int64_t number, const std::string& udid) {
  // The number is known from the first event on; the UDID may come only once the device is ready.
  auto it = std::find_if(devices_.begin(), devices_.end(), [&](const DeviceSeen& d) { return d.number == number; });
  if (it == devices_.end() && !udid.empty()) {
    it = std::find_if(devices_.begin(), devices_.end(), [&](const DeviceSeen& d) { return d.udid == udid; });
  }
  if (it == devices_.end()) it = devices_.emplace(devices_.end());
  it->number = number;
  if (!udid.empty()) it->udid = udid;
  return *it;
}

void DeviceRegistry::Remove(int64_t number) {
  std::erase_if(devices_, [&](const DeviceSeen& d) { return d.number == number; });
}

}  // namespace corvane_host
