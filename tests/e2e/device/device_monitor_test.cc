// Devices arriving and leaving, seen by the host: bring-up, pairing, locked devices, old systems, retries.
#include <gtest/gtest.h>

#include <thread>

#include "harness/device_harness.h"

namespace e2e {
namespace {

constexpr char kUdid[] = "00008030-001A2B3C4D5E602E";

devicesim::ProfileBuilder Phone(const std::string& udid = kUdid) {
  devicesim::ProfileBuilder phone(udid);
  phone.SetDeviceName("Test Phone")
      .SetDeviceClass("iPhone")
      .SetProductVersion("16.4.1")
      .SetSerialNumber("F2LXK1ABCDEF")
      .SetAfcDeviceInfo("iPhone14,2", 128000000000, 42000000000);
  return phone;
}

bool IsNoticeOf(const hostlink::Report& report, uint32_t type) { return report.packet_type == type && report.header_code == 1; }

TEST(DeviceMonitor, AnAttachedDeviceIsAnnouncedWithItsIdentityAndLeavesWithItsPid) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("phone", Phone()));
  ASSERT_TRUE(corvane.StartWithDevices());

  auto attached = corvane.host().WaitFor([](const hostlink::Report& r) { return IsNoticeOf(r, 11); }, 20s);
  ASSERT_TRUE(attached);
  EXPECT_EQ(attached->uuid, "");
  EXPECT_FALSE(attached->has_info);
  devicesim::DeviceStatus status;
  std::string error;
  ASSERT_TRUE(corvane.simulator().Status("phone", &status, &error));
  EXPECT_EQ(attached->code, status.device_id);

  auto ready = corvane.WaitForDeviceReady(kUdid);
  ASSERT_TRUE(ready);
  EXPECT_EQ(ready->header_code, 2);
  EXPECT_EQ(ready->task_id, 0u);
  EXPECT_EQ(ready->code, status.device_id);
  std::string pid = std::to_string(corvane.corvane().pid());
  EXPECT_EQ(ready->info, R"({"Model":"iPhone14,2","FirmVersion":"16.4.1","Type":"iPhone",)"
                         R"("Data_FreeSize":42000000000,"Data_PhysicalSize":128000000000,"Pid":)" +
                             pid + R"(,"StartType":0,"SerialNumber":"F2LXK1ABCDEF"})");

  ASSERT_TRUE(corvane.simulator().Detach("phone", &error));
  auto left = corvane.host().WaitFor([](const hostlink::Report& r) { return r.packet_type == 8; }, 20s);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->header_code, 2);
  EXPECT_EQ(left->uuid, kUdid);
  EXPECT_EQ(left->stage, 0);
  EXPECT_EQ(left->info, "{\"PID\":" + pid + "}");
}

TEST(DeviceMonitor, AnUntrustedDeviceComesUpWhenTheUserTrustsItWithoutLeaving) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("phone", Phone().SetTrust(devicesim::TrustState::kPending)));
  ASSERT_TRUE(corvane.StartWithDevices());
  auto refused = corvane.host().WaitFor([](const hostlink::Report& r) { return r.packet_type == 12; }, 20s);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->header_code, 1);
  EXPECT_EQ(refused->info, R"({"device_name":"","error_code":25})");

  std::string error;
  ASSERT_TRUE(corvane.simulator().Trust("phone", &error));
  auto ready = corvane.WaitForDeviceReady(kUdid, 30s);
  ASSERT_TRUE(ready);
  for (const hostlink::Report& report : corvane.host().pending()) EXPECT_NE(report.packet_type, 8u);
}

TEST(DeviceMonitor, ADeviceThatLeavesBeforeItIsReadyIsANotice) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("phone", Phone().SetTrust(devicesim::TrustState::kPending)));
  ASSERT_TRUE(corvane.StartWithDevices());
  ASSERT_TRUE(corvane.WaitForType(12, 20s));
  std::string error;
  ASSERT_TRUE(corvane.simulator().Detach("phone", &error));
  auto left = corvane.host().WaitFor([](const hostlink::Report& r) { return r.packet_type == 8; }, 20s);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->header_code, 1);
  EXPECT_FALSE(left->has_info);
}

struct FailedBringUp {
  const char* name;
  devicesim::ProfileBuilder phone;
  int error_code;
};

void PrintTo(const FailedBringUp& cause, std::ostream* out) { *out << cause.name; }

class FailedBringUps : public ::testing::TestWithParam<FailedBringUp> {};

// Such a device has an identity (it was read before the failure), but the host never saw it arrive: its
// departure is the notice, never the event with its uuid.
TEST_P(FailedBringUps, ADeviceThatFailedItsBringUpLeavesWithTheNoticeNotTheEvent) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("phone", GetParam().phone));
  ASSERT_TRUE(corvane.StartWithDevices());
  auto refused = corvane.host().WaitFor([](const hostlink::Report& r) { return r.packet_type == 12; }, 20s);
  ASSERT_TRUE(refused);
  EXPECT_NE(refused->info.find("\"error_code\":" + std::to_string(GetParam().error_code) + "}"), std::string::npos)
      << refused->info;
  std::string error;
  ASSERT_TRUE(corvane.simulator().Detach("phone", &error));
  auto left = corvane.host().WaitFor([](const hostlink::Report& r) { return r.packet_type == 8; }, 20s);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->header_code, 1);
  EXPECT_EQ(left->uuid, "");
  EXPECT_FALSE(left->has_info);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedBringUps,
    ::testing::Values(FailedBringUp{"PasscodeLocked", Phone().SetPasscodeLocked(true), 48},
                      FailedBringUp{"SystemTooOld", Phone().SetProductVersion("4.1"), 3},
                      FailedBringUp{"NoFileService", Phone().DisableService("com.apple.afc"), 12},
                      FailedBringUp{"NoFileServiceInformation",
                                    Phone().SetServiceFault("com.apple.afc", {devicesim::FaultKind::kMalformed, 0, 1}),
                                    17}),
    [](const ::testing::TestParamInfo<FailedBringUp>& info) { return std::string(info.param.name); });

// A record whose identity was never read must not answer to an empty "uuid": the command finds no device.
TEST(DeviceMonitor, AnEmptyUuidFindsNoDeviceNotOneThatIsNotReady) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("phone", Phone().SetTrust(devicesim::TrustState::kPending)));
  ASSERT_TRUE(corvane.StartWithDevices());
  ASSERT_TRUE(corvane.WaitForType(12, 20s));
  auto answer = corvane.Run(31, 701, R"({"uuid":""})", R"({"1":{"path":"/DCIM"}})");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 7);
}

TEST(DeviceMonitor, APasscodeLockedDeviceFailsWith48AfterFiveAttempts) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("phone", Phone().SetPasscodeLocked(true)));
  ASSERT_TRUE(corvane.StartWithDevices());
  auto refused = corvane.host().WaitFor([](const hostlink::Report& r) { return r.packet_type == 12; }, 20s);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->uuid, kUdid);
  EXPECT_EQ(refused->info, R"({"device_name":"Test Phone","error_code":48})");
  devicesim::RequestFilter starts;
  starts.channel = "lockdown";
  starts.name = "StartService";
  EXPECT_EQ(corvane.simulator().Log().Count(starts), 5u);
}

struct SystemCase {
  const char* device_class;
  const char* version;
  bool accepted;
};

class DeviceSystems : public ::testing::TestWithParam<SystemCase> {};

TEST_P(DeviceSystems, PhonesBelow42AreTooOldOtherClassesAreNot) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("device", Phone().SetDeviceClass(GetParam().device_class).SetProductVersion(GetParam().version)));
  ASSERT_TRUE(corvane.StartWithDevices());
  auto outcome = corvane.host().WaitFor(
      [](const hostlink::Report& r) { return r.packet_type == 1 || r.packet_type == 12; }, 20s);
  ASSERT_TRUE(outcome);
  if (GetParam().accepted) {
    EXPECT_EQ(outcome->packet_type, 1u);
  } else {
    EXPECT_EQ(outcome->packet_type, 12u);
    EXPECT_EQ(outcome->info, R"({"device_name":"Test Phone","error_code":3})");
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, DeviceSystems,
                         ::testing::Values(SystemCase{"iPhone", "4.1", false}, SystemCase{"iPhone", "4.2", true},
                                           SystemCase{"iPod", "3.1.3", false}, SystemCase{"iPad", "3.2", true}),
                         [](const ::testing::TestParamInfo<SystemCase>& info) {
                           std::string name = std::string(info.param.device_class) + "_" + info.param.version;
                           for (char& c : name) c = c == '.' ? '_' : c;
                           return name;
                         });

TEST(DeviceMonitor, ADeviceWhoseFirstConnectFailsStillComesUp) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("phone", Phone().RefuseConnects(1)));
  ASSERT_TRUE(corvane.StartWithDevices());
  EXPECT_TRUE(corvane.WaitForDeviceReady(kUdid));
}

TEST(DeviceMonitor, HelperType1SendsNoRawNoticesButStillTheEvents) {
  DeviceHarness corvane;
  corvane.params().type = 1;
  ASSERT_TRUE(corvane.AddDevice("phone", Phone()));
  ASSERT_TRUE(corvane.StartWithDevices());
  auto ready = corvane.WaitForDeviceReady(kUdid);
  ASSERT_TRUE(ready);
  EXPECT_NE(ready->info.find("\"StartType\":1"), std::string::npos);
  std::string error;
  ASSERT_TRUE(corvane.simulator().Detach("phone", &error));
  auto left = corvane.host().WaitFor([](const hostlink::Report& r) { return r.packet_type == 8; }, 20s);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->stage, 1);
  for (const hostlink::Report& report : corvane.host().pending()) EXPECT_NE(report.packet_type, 11u);
}

TEST(DeviceMonitor, TwoDevicesComeUpOneAfterTheOther) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("one", Phone("00008030-0000000000000001")));
  ASSERT_TRUE(corvane.AddDevice("two", Phone("00008030-0000000000000002")));
  ASSERT_TRUE(corvane.StartWithDevices());
  EXPECT_TRUE(corvane.WaitForDeviceReady("00008030-0000000000000001"));
  EXPECT_TRUE(corvane.WaitForDeviceReady("00008030-0000000000000002"));
}

}  // namespace
}  // namespace e2e
