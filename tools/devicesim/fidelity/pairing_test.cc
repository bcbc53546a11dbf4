// Trust states, pairing, sessions on old system versions, passcode lock and usbmuxd device events.
#include <usbmuxd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "fidelity_fixture.h"

namespace devicesim {
namespace {

constexpr char kUdid[] = "00008030-00112233445566EE";

class PairingTest : public SimulatorTest {};

TEST_F(PairingTest, PendingDeviceIsRefusedUntilTrustedThenPairs) {
  AddDevice("phone", ProfileBuilder(kUdid).SetTrust(TrustState::kPending));

  ToolResult refused = RunTool({"idevicepair", "pair"});
  EXPECT_NE(refused.exit_code, 0) << refused.output;
  EXPECT_NE(refused.output.find("trust dialog"), std::string::npos) << refused.output;
  EXPECT_EQ(Count({.channel = "usbmuxd", .name = "SavePairRecord"}), 0u);

  std::string error;
  ASSERT_TRUE(sim_.Trust("phone", &error)) << error;
  ToolResult paired = RunTool({"idevicepair", "pair"});
  ASSERT_EQ(paired.exit_code, 0) << paired.output;
  EXPECT_NE(paired.output.find("SUCCESS"), std::string::npos) << paired.output;
  EXPECT_EQ(Count({.channel = "usbmuxd", .name = "SavePairRecord"}), 1u);
  EXPECT_EQ(Count({.channel = "lockdown", .name = "GetValue", .arg_key = "Key", .arg_value = "DevicePublicKey"}), 2u);

  // The record the client saved now opens sessions.
  ToolResult validated = RunTool({"idevicepair", "validate"});
  EXPECT_EQ(validated.exit_code, 0) << validated.output;
  EXPECT_EQ(RunTool({"idevicename"}).exit_code, 0);
}

TEST_F(PairingTest, DeniedDeviceRefusesPairing) {
  AddDevice("phone", ProfileBuilder(kUdid).SetTrust(TrustState::kDenied));
  ToolResult refused = RunTool({"idevicepair", "pair"});
  EXPECT_NE(refused.exit_code, 0);
  EXPECT_NE(refused.output.find("denied"), std::string::npos) << refused.output;
  EXPECT_NE(RunTool({"ideviceinfo"}).exit_code, 0);
}

TEST_F(PairingTest, DenyingATrustedDeviceEndsItsSessions) {
  AddDevice("phone", ProfileBuilder(kUdid));
  ASSERT_EQ(RunTool({"idevicepair", "validate"}).exit_code, 0);
  std::string error;
  ASSERT_TRUE(sim_.Deny("phone", &error)) << error;
  EXPECT_NE(RunTool({"idevicepair", "validate"}).exit_code, 0);
}

TEST_F(PairingTest, OldSystemVersionsValidateThePairing) {
  // libimobiledevice sends ValidatePair only below iOS 7; both kinds of device must come up.
  const std::pair<const char*, bool> versions[] = {{"3.2", true}, {"4.1", true}, {"4.2", true},
                                                   {"6.1", true}, {"7.0", false}, {"16.4", false}};
  int index = 0;
  for (const auto& [version, validates] : versions) {
    std::string udid = "0000000000000000000000000000000000000" + std::to_string(100 + index);
    std::string name = "dev" + std::to_string(index++);
    AddDevice(name, ProfileBuilder(udid).SetProductVersion(version).SetDeviceName(name));
    ToolResult info = RunTool({"ideviceinfo", "-u", udid, "-k", "DeviceName"});
    EXPECT_EQ(info.output, name + "\n") << version << ": " << info.output;
    EXPECT_EQ(Count({.udid = udid, .channel = "lockdown", .name = "ValidatePair"}) > 0, validates) << version;
    EXPECT_EQ(Count({.udid = udid, .channel = "lockdown", .name = "StartSession"}), 1u) << version;
  }
}

TEST_F(PairingTest, PasscodeLockRefusesEveryServiceStartUntilUnlocked) {
  AddDevice("phone", ProfileBuilder(kUdid).SetPasscodeLocked(true));
  LockdownSession session(kUdid);
  ASSERT_TRUE(session.ok()) << session.error();
  for (int attempt = 0; attempt < 5; ++attempt) {
    lockdownd_error_t error = LOCKDOWN_E_SUCCESS;
    EXPECT_EQ(session.Start("com.apple.afc", &error), nullptr);
    EXPECT_EQ(error, LOCKDOWN_E_PASSWORD_PROTECTED);
  }
  EXPECT_EQ(Count({.channel = "lockdown", .name = "StartService", .arg_key = "Service",
                   .arg_value = "com.apple.afc"}),
            5u);
  std::string error;
  ASSERT_TRUE(sim_.Unlock("phone", &error)) << error;
  lockdownd_service_descriptor_t service = session.Start("com.apple.afc");
  EXPECT_NE(service, nullptr);
  if (service) lockdownd_service_descriptor_free(service);
}

TEST_F(PairingTest, UnknownServicesAreInvalid) {
  AddDevice("phone", ProfileBuilder(kUdid).DisableService("com.apple.atc"));
  LockdownSession session(kUdid);
  ASSERT_TRUE(session.ok()) << session.error();
  lockdownd_error_t error = LOCKDOWN_E_SUCCESS;
  EXPECT_EQ(session.Start("com.apple.atc", &error), nullptr);
  EXPECT_EQ(error, LOCKDOWN_E_INVALID_SERVICE);
  EXPECT_EQ(session.Start("com.apple.afc2", &error), nullptr) << "afc2 needs a jailbroken profile";
  EXPECT_EQ(error, LOCKDOWN_E_INVALID_SERVICE);
}

struct EventLog {
  std::mutex mutex;
  std::vector<std::pair<int, std::string>> events;
};

void OnEvent(const usbmuxd_event_t* event, void* user_data) {
  auto* log = static_cast<EventLog*>(user_data);
  std::lock_guard<std::mutex> lock(log->mutex);
  log->events.emplace_back(event->event, event->device.udid);
}

bool WaitFor(EventLog& log, size_t count) {
  for (int i = 0; i < 100; ++i) {
    {
      std::lock_guard<std::mutex> lock(log.mutex);
      if (log.events.size() >= count) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST_F(PairingTest, ListenersSeeAttachDetachAndPaired) {
  AddDevice("phone", ProfileBuilder(kUdid).SetTrust(TrustState::kPending), /*attached=*/false);
  libusbmuxd_set_use_inotify(0);
  EventLog log;
  usbmuxd_subscription_context_t context = nullptr;
  ASSERT_EQ(usbmuxd_events_subscribe(&context, OnEvent, &log), 0);
  std::string error;
  ASSERT_TRUE(sim_.Attach("phone", &error)) << error;
  ASSERT_TRUE(WaitFor(log, 1));
  ASSERT_TRUE(sim_.Trust("phone", &error)) << error;
  ASSERT_EQ(RunTool({"idevicepair", "pair"}).exit_code, 0);
  ASSERT_TRUE(WaitFor(log, 2));
  ASSERT_TRUE(sim_.Detach("phone", &error)) << error;
  ASSERT_TRUE(WaitFor(log, 3));
  usbmuxd_events_unsubscribe(context);
  std::lock_guard<std::mutex> lock(log.mutex);
  ASSERT_EQ(log.events.size(), 3u);
  EXPECT_EQ(log.events[0], std::make_pair(static_cast<int>(UE_DEVICE_ADD), std::string(kUdid)));
  EXPECT_EQ(log.events[1].first, UE_DEVICE_PAIRED);
  EXPECT_EQ(log.events[2].first, UE_DEVICE_REMOVE);
}

}  // namespace
}  // namespace devicesim
