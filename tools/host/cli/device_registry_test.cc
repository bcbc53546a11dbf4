// The device registry as corvane-host feeds it Corvane's device events, and what it says when a device is missing.
#include "device_registry.h"

#include <gtest/gtest.h>

namespace corvane_host {
namespace {

hostlink::Report Event(uint32_t type, uint16_t header_code, int64_t number, std::string uuid, std::string info = "") {
  hostlink::Report r;
  r.packet_type = type;
  r.header_code = header_code;
  r.code = number;
  r.uuid = std::move(uuid);
  r.has_info = !info.empty();
  r.info = std::move(info);
  return r;
}

const char kReadyInfo[] = R"({"Model":"iPhone14,5","FirmVersion":"16.4.1","Type":"iPhone"})";

TEST(DeviceRegistryTest, TheFirstReadyDeviceIsTheDefaultAndLeavesWhenDisconnected) {
  DeviceRegistry registry;
  registry.Observe(Event(9, 1, 0, "", R"({"error_code":0})"));
  registry.Observe(Event(11, 1, 5, ""));
  EXPECT_TRUE(registry.BringUpPending());
  EXPECT_EQ(registry.Ready(""), nullptr);
  registry.Observe(Event(1, 2, 5, "UDID-A", kReadyInfo));
  registry.Observe(Event(1, 2, 6, "UDID-B", kReadyInfo));
  EXPECT_FALSE(registry.BringUpPending());
  ASSERT_NE(registry.Ready(""), nullptr);
  EXPECT_EQ(registry.Ready("")->udid, "UDID-A");
  EXPECT_EQ(registry.Ready("")->model, "iPhone14,5");
  EXPECT_EQ(registry.Ready("")->ios_version, "16.4.1");
  EXPECT_EQ(registry.Ready("UDID-B")->udid, "UDID-B");
  EXPECT_EQ(registry.Ready("UDID-C"), nullptr);

  registry.Observe(Event(8, 2, 5, "UDID-A", R"({"PID":1})"));
  EXPECT_EQ(registry.devices().size(), 1u);
  EXPECT_EQ(registry.Ready("UDID-A"), nullptr);
  EXPECT_EQ(registry.Ready("")->udid, "UDID-B");
  // A command's own reports are not device events, even of a device type number.
  hostlink::Report of_task = Event(1, 2, 7, "UDID-X", kReadyInfo);
  of_task.task_id = 12;
  registry.Observe(of_task);
  EXPECT_EQ(registry.Ready("UDID-X"), nullptr);
}

TEST(DeviceRegistryTest, AnUntrustedDeviceIsExplainedAndBecomesReadyOnceTrusted) {
  DeviceRegistry registry;
  registry.Observe(Event(9, 1, 0, "", R"({"error_code":0})"));
  registry.Observe(Event(11, 1, 5, ""));
  // Before it trusts this computer Corvane cannot read the device's name or UDID.
  registry.Observe(Event(12, 1, 5, "", R"({"device_name":"","error_code":25})"));
  EXPECT_FALSE(registry.BringUpPending());
  EXPECT_EQ(registry.Ready(""), nullptr);
  std::string why = registry.ExplainAbsence("UDID-A");
  EXPECT_NE(why.find("Corvane reported instead: a device is not ready, error 25"), std::string::npos) << why;
  EXPECT_NE(why.find("Trust"), std::string::npos) << why;
  registry.Observe(Event(12, 1, 5, "UDID-A", R"({"device_name":"Demo iPhone","error_code":48})"));
  EXPECT_EQ(registry.ExplainAbsence("UDID-A"),
            "Corvane reported Demo iPhone (UDID-A) is not ready, error 48: it is locked with a passcode: unlock it");

  registry.Observe(Event(1, 2, 5, "UDID-A", kReadyInfo));
  EXPECT_NE(registry.Ready("UDID-A"), nullptr);
  EXPECT_EQ(registry.devices().size(), 1u);
  EXPECT_EQ(registry.ExplainAbsence("UDID-Z"), "Corvane reported instead: Demo iPhone (UDID-A) is ready");
}

TEST(DeviceRegistryTest, ExplanationsWhenNothingCame) {
  DeviceRegistry registry;
  EXPECT_EQ(registry.ExplainAbsence(""), "Corvane's device monitor has not reported yet");
  registry.Observe(Event(9, 1, 0, "", R"({"error_code":0})"));
  EXPECT_EQ(registry.ExplainAbsence("U"), "Corvane reported no device");
  registry.Observe(Event(11, 1, 3, ""));
  EXPECT_EQ(registry.ExplainAbsence("U"), "a device is attached but its bring-up has not finished");
  registry.Observe(Event(8, 1, 3, ""));  // it left before it was ready
  EXPECT_FALSE(registry.BringUpPending());

  DeviceRegistry no_monitor;
  no_monitor.Observe(Event(9, 1, 0, "", R"({"error_code":9})"));
  EXPECT_EQ(no_monitor.monitor_result(), 9);
  EXPECT_NE(no_monitor.ExplainAbsence("").find("libimobiledevice"), std::string::npos);
}

}  // namespace
}  // namespace corvane_host
