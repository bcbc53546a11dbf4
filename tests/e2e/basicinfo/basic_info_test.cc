// Command 300 seen by the host: the identity and usage objects against simulated devices.
#include <gtest/gtest.h>

#include "harness/device_harness.h"

namespace e2e {
namespace {

constexpr char kUdid[] = "00008110-001A2D3C0E38801E";

// A phone that gives every member of the identity object, reals where the device may send them.
devicesim::ProfileBuilder FullPhone() {
  devicesim::ProfileBuilder phone(kUdid);
  phone.Set("RegionInfo", "LL/A")
      .SetDeviceName("Test Phone")
      .SetProductType("iPhone14,5")
      .SetProductVersion("16.4.1")
      .SetSerialNumber("F2LXK1ABCDEF")
      .Set("DeviceEnclosureColor", "1")
      .Set("PartitionType", "GUID_partition_scheme")
      .Set("FirmwareVersion", "iBoot-8419.80.7")
      .Set("ActivationStateAcknowledged", true)
      .Set("BasebandVersion", "2.55.00")
      .Set("BasebandBootloaderVersion", "5.00.00")
      .Set("BasebandChipId", 8343777)
      .Set("BasebandGoldCertId", int64_t{3554301762})
      .Set("IntegratedCircuitCardIdentity", "8901410427641234567")
      .SetImei("356789101234567")
      .Set("InternationalMobileSubscriberIdentity", "310410123456789")
      .Set("MLBSerialNumber", "F5K0123456789")
      .Set("MobileSubscriberCountryCode", "310")
      .Set("MobileSubscriberNetworkCode", "410")
      .Set("MobileEquipmentIdentifier", "35678910123456")
      .SetPhoneNumber("+1 (555) 010-4477")
      .Set("ProductionSOC", true)
      .Set("ProtocolVersion", "2")
      .SetSimStatus("kCTSIMSupportSIMStatusReady")
      .Set("SupportedDeviceFamilies", devicesim::Value::Array({1, 2.6}))
      .Set("TimeIntervalSince1970", 1700000000.4)
      .Set("TimeZone", "US/Pacific")
      .Set("TimeZoneOffsetFromUTC", -25200.0)
      .Set("Uses24HourClock", false);
  return phone;
}

struct BasicInfo {
  std::optional<hostlink::Report> final;
  std::vector<hostlink::Report> progress;
};

BasicInfo AskBasicInfo(DeviceHarness& corvane, uint64_t task, const std::string& json) {
  BasicInfo answer;
  answer.final = corvane.Run(task, 300, json);
  for (hostlink::Report& report : corvane.TakeReportsOf(task)) {
    if (!report.is_final()) answer.progress.push_back(std::move(report));
  }
  return answer;
}

std::string UsageOf(int64_t cycle_count, const std::vector<std::pair<int64_t, int64_t>>& categories, int64_t free,
                    int64_t physical) {
  static const char* kNames[] = {"Application", "Photo", "CameraRoll", "Movie", "Book", "Music", "Ringtone"};
  std::string json = "{";
  if (cycle_count >= 0) json += "\"CycleCount\":" + std::to_string(cycle_count) + ",";
  int64_t others = physical - free;
  for (size_t i = 0; i < 7; ++i) {
    json += "\"" + std::string(kNames[i]) + "_PhysicalSize\":" + std::to_string(categories[i].first) + ",\"" +
            kNames[i] + "_Count\":" + std::to_string(categories[i].second) + ",";
    others -= categories[i].first;
  }
  return json + "\"Data_FreeSize\":" + std::to_string(free) + ",\"Data_PhysicalSize\":" + std::to_string(physical) +
         ",\"Data_Others_PhysicalSize\":" + std::to_string(others) + "}";
}

const std::vector<std::pair<int64_t, int64_t>> kZeroCategories(7, {0, 0});

TEST(BasicInfo, TheIdentityObjectHasEveryMemberInTheHostsOrderAndKind) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("phone", FullPhone()));
  ASSERT_TRUE(corvane.StartWithDevices());
  ASSERT_TRUE(corvane.WaitForDeviceReady(kUdid));

  BasicInfo answer = AskBasicInfo(corvane, 30, R"({"uuid":"00008110-001A2D3C0E38801E"})");
  ASSERT_TRUE(answer.final);
  EXPECT_EQ(answer.final->code, 0);
  EXPECT_EQ(answer.final->header_code, 1);
  EXPECT_EQ(answer.final->uuid, kUdid);
  ASSERT_EQ(answer.progress.size(), 2u);
  const hostlink::Report& identity = answer.progress[0];
  EXPECT_EQ(identity.stage, 2);
  EXPECT_EQ(identity.header_code, 2);
  EXPECT_EQ(identity.uuid, kUdid);
  EXPECT_EQ(identity.info,
            R"({"RegionInfo":"LL/A","DeviceName":"Test Phone","DeviceClass":"iPhone","ProductType":"iPhone14,5",)"
            R"("ProductVersion":"16.4.1","SerialNumber":"F2LXK1ABCDEF","UniqueDeviceID":"00008110-001A2D3C0E38801E",)"
            R"("ModelNumber":"MLPF3","BuildVersion":"20E247","HardwareModel":"D17AP","DeviceEnclosureColor":"1",)"
            R"("CPUArchitecture":"arm64e","WiFiAddress":"a4:c3:f0:12:34:56","BluetoothAddress":"a4:c3:f0:12:34:57",)"
            R"("PartitionType":"GUID_partition_scheme","FirmwareVersion":"iBoot-8419.80.7",)"
            R"("ActivationState":"Activated","ActivationStateAcknowledged":true,"BasebandVersion":"2.55.00",)"
            R"("BasebandBootloaderVersion":"5.00.00","BasebandChipId":8343777,"BasebandGoldCertId":3554301762,)"
            R"("IntegratedCircuitCardIdentity":"8901410427641234567",)"
            R"("InternationalMobileEquipmentIdentity":"356789101234567",)"
            R"("InternationalMobileSubscriberIdentity":"310410123456789","MLBSerialNumber":"F5K0123456789",)"
            R"("MobileSubscriberCountryCode":"310","MobileSubscriberNetworkCode":"410",)"
            R"("MobileEquipmentIdentifier":"35678910123456","PasswordProtected":false,)"
            R"("PhoneNumber":"+1 (555) 010-4477","ProductionSOC":true,"ProtocolVersion":"2",)"
            R"("SIMStatus":"kCTSIMSupportSIMStatusReady","SupportedDeviceFamilies":[1,3],)"
            R"("TimeIntervalSince1970":1700000000,"TimeZone":"US/Pacific","TimeZoneOffsetFromUTC":-25200,)"
            R"("UniqueChipID":7196157011484718,"Uses24HourClock":false,"BatteryIsCharging":false,)"
            R"("Keyboard":"en_US","BatteryCurrentCapacity":87,"TotalDiskCapacity":128000000000,)"
            R"("TotalSystemAvailable":2000000000,"TotalSystemCapacity":12000000000,"IsJailbreak":false})");
}

TEST(BasicInfo, ValuesThePhoneLacksAreLeftOutAndAJailbrokenDeviceSaysSo) {
  DeviceHarness corvane;
  devicesim::ProfileBuilder plain("00008110-0000000000000001");
  plain.Remove("ModelNumber");
  devicesim::ProfileBuilder jailbroken("00008110-0000000000000002");
  jailbroken.SetJailbroken(true).AddFolder("var/root/Media/Cydia/AutoInstall");
  ASSERT_TRUE(corvane.AddDevice("plain", plain));
  ASSERT_TRUE(corvane.AddDevice("jailbroken", jailbroken));
  ASSERT_TRUE(corvane.StartWithDevices());
  ASSERT_TRUE(corvane.WaitForDeviceReady("00008110-0000000000000001"));
  ASSERT_TRUE(corvane.WaitForDeviceReady("00008110-0000000000000002"));

  BasicInfo answer = AskBasicInfo(corvane, 31, R"({"uuid":"00008110-0000000000000001"})");
  ASSERT_EQ(answer.progress.size(), 2u);
  const std::string& identity = answer.progress[0].info;
  for (const char* absent : {"\"PhoneNumber\"", "\"SIMStatus\"", "\"ModelNumber\"", "\"RegionInfo\"",
                             "\"InternationalMobileEquipmentIdentity\"", "\"SupportedDeviceFamilies\""}) {
    EXPECT_EQ(identity.find(absent), std::string::npos) << absent;
  }
  EXPECT_NE(identity.find(R"("ProductType":"iPhone14,5")"), std::string::npos);
  EXPECT_NE(identity.find(R"(,"IsJailbreak":false})"), std::string::npos) << identity;

  answer = AskBasicInfo(corvane, 32, R"({"uuid":"00008110-0000000000000002"})");
  ASSERT_EQ(answer.progress.size(), 2u);
  EXPECT_NE(answer.progress[0].info.find(R"(,"IsJailbreak":true})"), std::string::npos) << answer.progress[0].info;
}

TEST(BasicInfo, TheUsageObjectHasTheCycleCountAndTheAssetMetricsWithNestedFigures) {
  DeviceHarness corvane;
  devicesim::ProfileBuilder phone = FullPhone();
  devicesim::Value thumbnails = devicesim::Value::Dict();
  thumbnails.Set("_PhysicalSize", int64_t{1048576});
  thumbnails.Set("_Count", 240);
  devicesim::Value nested = devicesim::Value::Dict();
  nested.Set("Thumbnails", thumbnails);
  phone.SetBatteryValue("CycleCount", 318)
      .SetAssetCategory("Photo", 1073741824, 240, 52428800, nested)
      .SetAssetTotals(int64_t{255} << 30, int64_t{200} << 30);
  ASSERT_TRUE(corvane.AddDevice("phone", phone));
  ASSERT_TRUE(corvane.StartWithDevices());
  ASSERT_TRUE(corvane.WaitForDeviceReady(kUdid));

  BasicInfo answer = AskBasicInfo(corvane, 33, R"({"uuid":"00008110-001A2D3C0E38801E"})");
  ASSERT_EQ(answer.progress.size(), 2u);
  EXPECT_EQ(answer.progress[1].stage, 2);
  EXPECT_EQ(answer.progress[1].info,
            UsageOf(318,
                    {{734003200, 12}, {1073741824 + 1048576, 480}, {536870912, 120}, {2147483648, 3}, {52428800, 4},
                     {419430400, 86}, {1048576, 2}},
                    int64_t{200} << 30, int64_t{255} << 30));
}

TEST(BasicInfo, AnAirTrafficServiceThatSaysPingFirstGivesZerosButTheCycleCountStays) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("phone", FullPhone().SetAtcFirstMessage("Ping")));
  ASSERT_TRUE(corvane.StartWithDevices());
  ASSERT_TRUE(corvane.WaitForDeviceReady(kUdid));
  BasicInfo answer = AskBasicInfo(corvane, 34, R"({"uuid":"00008110-001A2D3C0E38801E"})");
  ASSERT_EQ(answer.progress.size(), 2u);
  EXPECT_EQ(answer.progress[1].info, UsageOf(212, kZeroCategories, 0, 0));
  EXPECT_EQ(answer.final->code, 0);
}

// Devices whose diagnostics or air-traffic exchange fails: the command still succeeds with what it could read.
TEST(BasicInfo, FailedExchangesLeaveTheirMembersOutOrAtZeroAndRefuseWhatTheBufferCannotHold) {
  DeviceHarness corvane;
  devicesim::ProfileBuilder no_atc("00008110-00000000000000A1");
  no_atc.DisableService("com.apple.atc");
  devicesim::ProfileBuilder oversized("00008110-00000000000000A2");
  oversized.SetServiceFault("com.apple.atc", {devicesim::FaultKind::kOversized, 0, -1});
  // An AssetMetrics message whose XML form is far over 64 KiB.
  devicesim::ProfileBuilder huge("00008110-00000000000000A3");
  devicesim::Value albums = devicesim::Value::Dict();
  for (int i = 0; i < 3000; ++i) {
    devicesim::Value album = devicesim::Value::Dict();
    album.Set("_PhysicalSize", 1);
    album.Set("_Count", 1);
    albums.Set("Album number " + std::to_string(i), album);
  }
  huge.SetAssetCategory("Photo", 10, 1, 0, albums);
  devicesim::ProfileBuilder no_diagnostics("00008110-00000000000000A4");
  no_diagnostics.DisableService("com.apple.mobile.diagnostics_relay");
  ASSERT_TRUE(corvane.AddDevice("no-atc", no_atc));
  ASSERT_TRUE(corvane.AddDevice("oversized", oversized));
  ASSERT_TRUE(corvane.AddDevice("huge", huge));
  ASSERT_TRUE(corvane.AddDevice("no-diagnostics", no_diagnostics));
  // A receive that waited for the device would take a minute; a refused message ends at once.
  for (auto& [name, value] : corvane.options().env) {
    if (name == "CORVANE_SERVICE_TIMEOUT_MS") value = "60000";
  }
  ASSERT_TRUE(corvane.StartWithDevices());
  for (const char* udid : {"00008110-00000000000000A1", "00008110-00000000000000A2", "00008110-00000000000000A3",
                           "00008110-00000000000000A4"}) {
    ASSERT_TRUE(corvane.WaitForDeviceReady(udid)) << udid;
  }

  uint64_t task = 40;
  for (const char* udid : {"00008110-00000000000000A1", "00008110-00000000000000A2", "00008110-00000000000000A3"}) {
    auto started = std::chrono::steady_clock::now();
    BasicInfo answer = AskBasicInfo(corvane, ++task, std::string(R"({"uuid":")") + udid + "\"}");
    ASSERT_TRUE(answer.final) << udid;
    EXPECT_EQ(answer.final->code, 0) << udid;
    ASSERT_EQ(answer.progress.size(), 2u) << udid;
    EXPECT_EQ(answer.progress[1].info, UsageOf(212, kZeroCategories, 0, 0)) << udid;
    // Refused, not waited out: waiting would take the whole minute of the service timeout.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s) << udid;
  }
  BasicInfo answer = AskBasicInfo(corvane, ++task, R"({"uuid":"00008110-00000000000000A4"})");
  ASSERT_EQ(answer.progress.size(), 2u);
  EXPECT_EQ(answer.progress[1].info.find("CycleCount"), std::string::npos);
  EXPECT_NE(answer.progress[1].info.find(R"("Application_PhysicalSize":734003200)"), std::string::npos);
}

TEST(BasicInfo, ADeviceWhoseFileServiceCannotStartGets12AndNoReports) {
  DeviceHarness corvane;
  ASSERT_TRUE(corvane.AddDevice("phone", FullPhone()));
  ASSERT_TRUE(corvane.StartWithDevices());
  ASSERT_TRUE(corvane.WaitForDeviceReady(kUdid));
  std::string error;
  ASSERT_TRUE(corvane.simulator().SetServiceFault("phone", "com.apple.afc", {devicesim::FaultKind::kRefuse, 0, -1},
                                                  &error));
  BasicInfo answer = AskBasicInfo(corvane, 50, R"({"uuid":"00008110-001A2D3C0E38801E"})");
  ASSERT_TRUE(answer.final);
  EXPECT_EQ(answer.final->code, 12);
  EXPECT_EQ(answer.final->header_code, 6);
  EXPECT_TRUE(answer.progress.empty());
}

}  // namespace
}  // namespace e2e
