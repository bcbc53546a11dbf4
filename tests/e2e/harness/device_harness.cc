#include "harness/device_harness.h"

#include <gtest/gtest.h>

namespace e2e {

DeviceHarness::DeviceHarness() {
  SetDeviceSocket("UNIX:" + temp_dir() + "/usbmuxd.sock");
  options().env.push_back({"CORVANE_SERVICE_TIMEOUT_MS", "5000"});
}

DeviceHarness::~DeviceHarness() {
  // Corvane first, so that it never sees its devices vanish while a test ends.
  corvane().Stop(2s);
  simulator_.Stop();
}

std::string DeviceHarness::ProfileFolder(const std::string& name) const { return temp_dir() + "/profiles/" + name; }

bool DeviceHarness::AddDevice(const std::string& name, const devicesim::ProfileBuilder& profile, bool attached) {
  std::string error;
  if (!profile.Write(ProfileFolder(name), &error) || !simulator_.AddProfile(ProfileFolder(name), attached, &error)) {
    ADD_FAILURE() << "profile " << name << ": " << error;
    return false;
  }
  return true;
}

bool DeviceHarness::StartWithDevices() {
  std::string error;
  if (!simulator_.running() && !simulator_.Start(temp_dir() + "/usbmuxd.sock", &error)) {
    ADD_FAILURE() << "simulator: " << error;
    return false;
  }
  if (!Start()) return false;
  auto monitor = WaitForType(9);
  return monitor && monitor->info == R"({"error_code":0})";
}

std::optional<hostlink::Report> DeviceHarness::WaitForDeviceReady(const std::string& udid,
                                                                  std::chrono::milliseconds timeout) {
  return host().WaitFor([&](const hostlink::Report& r) { return r.packet_type == 1 && r.uuid == udid; }, timeout);
}

}  // namespace e2e
