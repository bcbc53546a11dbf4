// DeviceHarness: a real Corvane process with a simulated usbmuxd and devices behind it.
//
// Profiles are written into the harness's temporary folder by the test (ProfileFolder + devicesim's
// ProfileBuilder); the simulator runs in-process on a socket there, and Corvane is pointed at it with
// USBMUXD_SOCKET_ADDRESS. Everything else is CorvaneHarness.
//
// Thread safety: one test thread; the simulator itself is thread-safe.
#pragma once

#include <string>

#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"
#include "harness/corvane_harness.h"

namespace e2e {

class DeviceHarness : public CorvaneHarness {
 public:
  DeviceHarness();
  ~DeviceHarness();

  devicesim::Simulator& simulator() { return simulator_; }

  // Writes the profile into <temp>/profiles/<name> and loads it (attached or not). False on failure.
  bool AddDevice(const std::string& name, const devicesim::ProfileBuilder& profile, bool attached = true);
  std::string ProfileFolder(const std::string& name) const;

  // Starts the simulator and Corvane, and waits for the monitor's start report; false unless it says 0.
  bool StartWithDevices();

  // Waits for the device-connected event of this UDID.
  std::optional<hostlink::Report> WaitForDeviceReady(const std::string& udid, std::chrono::milliseconds timeout = 20s);

 private:
  devicesim::Simulator simulator_;
};

}  // namespace e2e
