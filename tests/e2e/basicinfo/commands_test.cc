// The steps every basic information command shares, re-announcing a device (15) and renaming it (303).
#include <gtest/gtest.h>

#include "harness/device_harness.h"

namespace e2e {
namespace {

constexpr char kUdid[] = "00008030-001A2B3C4D5E602E";
constexpr char kCommand[] = R"({"uuid":"00008030-001A2B3C4D5E602E"})";

// The requests that read the device or start a service on it (sessions end on their own after a bring-up).
size_t DeviceReads(DeviceHarness& corvane) {
  size_t count = 0;
  for (const char* name : {"GetValue", "StartService"}) {
    devicesim::RequestFilter filter;
    filter.channel = "lockdown";
    filter.name = name;
    count += corvane.simulator().Log().Count(filter);
  }
  return count;
}

class ReadyPhone : public ::testing::Test {
 protected:
  void SetUp() override {
    devicesim::ProfileBuilder phone(kUdid);
    phone.SetDeviceName("Old Name");
    ASSERT_TRUE(corvane_.AddDevice("phone", phone));
    ASSERT_TRUE(corvane_.StartWithDevices());
    ASSERT_TRUE(corvane_.WaitForDeviceReady(kUdid));
  }
  std::string DeviceName() {
    std::string name, error;
    EXPECT_TRUE(corvane_.simulator().GetDeviceName("phone", &name, &error)) << error;
    return name;
  }
  uint32_t DeviceNumber() {
    devicesim::DeviceStatus status;
    std::string error;
    EXPECT_TRUE(corvane_.simulator().Status("phone", &status, &error)) << error;
    return status.device_id;
  }
  DeviceHarness corvane_;
};

TEST_F(ReadyPhone, AMarkerOtherThan1EndsWithCode0AndNoWork) {
  size_t before = DeviceReads(corvane_);
  ASSERT_TRUE(corvane_.host().SendCommand(60, 300, kCommand, {}, "2"));
  auto answer = corvane_.host().WaitFor(hostlink::FinalOf(60, 300), 15s);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
  EXPECT_EQ(answer->uuid, "");
  EXPECT_TRUE(corvane_.TakeReportsOf(60).empty());
  EXPECT_EQ(DeviceReads(corvane_), before);
}

TEST_F(ReadyPhone, UnreadableJsonGets21AndAnUnknownDeviceGets7) {
  auto bad = corvane_.Run(61, 300, "{\"uuid\":");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->code, 21);
  EXPECT_EQ(bad->header_code, 6);
  auto unknown = corvane_.Run(62, 303, R"({"uuid":"00008030-001A2B3C4D5E602e"})", R"({"name":"x"})");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->code, 7);
  EXPECT_EQ(unknown->uuid, "00008030-001A2B3C4D5E602e");
  auto unknown_code = corvane_.Run(63, 15, R"({"code":999999})");
  ASSERT_TRUE(unknown_code);
  EXPECT_EQ(unknown_code->code, 7);
}

TEST_F(ReadyPhone, ADeviceNamedOnlyByItsCodeIsFound) {
  auto answer = corvane_.Run(64, 300, "{\"code\":" + std::to_string(DeviceNumber()) + "}");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
  auto reports = corvane_.TakeReportsOf(64);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].uuid, kUdid);
}

TEST_F(ReadyPhone, ReannouncingAReadyDeviceAnswers0WithoutAskingTheDevice) {
  size_t before = DeviceReads(corvane_);
  auto answer = corvane_.Run(65, 15, kCommand);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
  EXPECT_EQ(answer->header_code, 1);
  EXPECT_EQ(DeviceReads(corvane_), before);
  EXPECT_FALSE(corvane_.host().WaitFor(hostlink::OfType(1), 500ms));
}

TEST_F(ReadyPhone, RenamingChangesTheDevicesNameAndAnEmptyNamePassesThrough) {
  auto renamed = corvane_.Run(66, 303, kCommand, R"({"name":"Küchen-Telefon 📱"})");
  ASSERT_TRUE(renamed);
  EXPECT_EQ(renamed->code, 0);
  EXPECT_EQ(renamed->uuid, kUdid);
  EXPECT_EQ(DeviceName(), "Küchen-Telefon 📱");

  auto emptied = corvane_.Run(67, 303, kCommand, R"({"name":""})");
  ASSERT_TRUE(emptied);
  EXPECT_EQ(emptied->code, 0);
  EXPECT_EQ(DeviceName(), "");
}

TEST_F(ReadyPhone, ARenameWithoutAReadableNameGets8AndLeavesTheNameAlone) {
  for (const std::string& second : {std::string(""), std::string("{\"name\":"), std::string("[\"x\"]"),
                                    std::string(R"({"name":5})"), std::string(R"({"title":"x"})")}) {
    auto answer = corvane_.Run(68, 303, kCommand, second);
    ASSERT_TRUE(answer) << second;
    EXPECT_EQ(answer->code, 8) << second;
  }
  EXPECT_EQ(DeviceName(), "Old Name");
}

TEST(Reannounce, ADeviceWhoseBringUpFailedIsBroughtUpAgain) {
  DeviceHarness corvane;
  devicesim::ProfileBuilder phone(kUdid);
  // The five attempts of the bring-up find no file service; later ones do.
  phone.SetServiceFault("com.apple.afc", {devicesim::FaultKind::kRefuse, 0, 5});
  ASSERT_TRUE(corvane.AddDevice("phone", phone));
  ASSERT_TRUE(corvane.StartWithDevices());
  auto refused = corvane.WaitForType(12, 20s);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->info, R"({"device_name":"Simulated iPhone","error_code":12})");

  devicesim::DeviceStatus status;
  std::string error;
  ASSERT_TRUE(corvane.simulator().Status("phone", &status, &error));
  auto answer = corvane.Run(69, 15, "{\"code\":" + std::to_string(status.device_id) + "}");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
  EXPECT_TRUE(corvane.WaitForDeviceReady(kUdid, 5s));
}

}  // namespace
}  // namespace e2e
