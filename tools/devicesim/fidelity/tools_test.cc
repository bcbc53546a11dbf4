// Unmodified Debian tools against the simulator, as a new user would run them.
#include "fidelity_fixture.h"

namespace devicesim {
namespace {

constexpr char kPhone[] = "00008110-000A1B2C3D4E501E";
constexpr char kPad[] = "00008020-000F1E2D3C4B5A6E";

class ToolsTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    ProfileBuilder phone(kPhone);
    phone.SetDeviceName("Fidelity Phone")
        .SetProductVersion("16.4")
        .SetPhoneNumber("+1 555 0100")
        .SetDomainValue("com.apple.disk_usage", "TotalDiskCapacity", int64_t{256000000000})
        .SetBatteryValue("CycleCount", 417);
    AddDevice("phone", phone);
    AddDevice("pad", ProfileBuilder(kPad).SetDeviceClass("iPad"), /*attached=*/false);
  }
};

TEST_F(ToolsTest, IdeviceIdListsAttachedDevicesOnlyAndFollowsAttachDetach) {
  ToolResult list = RunTool({"idevice_id", "-l"});
  ASSERT_EQ(list.exit_code, 0) << list.output;
  EXPECT_EQ(list.output, std::string(kPhone) + "\n");

  std::string error;
  ASSERT_TRUE(sim_.Attach("pad", &error)) << error;
  list = RunTool({"idevice_id", "-l"});
  EXPECT_NE(list.output.find(kPhone), std::string::npos);
  EXPECT_NE(list.output.find(kPad), std::string::npos);

  ASSERT_TRUE(sim_.Detach(kPhone, &error)) << error;
  list = RunTool({"idevice_id", "-l"});
  EXPECT_EQ(list.output, std::string(kPad) + "\n");
}

TEST_F(ToolsTest, IdeviceIdWithUdidReadsTheNameWithoutASession) {
  ToolResult name = RunTool({"idevice_id", kPhone});
  ASSERT_EQ(name.exit_code, 0) << name.output;
  EXPECT_EQ(name.output, "Fidelity Phone\n");
  EXPECT_EQ(Count({.channel = "lockdown", .name = "GetValue", .arg_key = "Key", .arg_value = "DeviceName"}), 1u);
  EXPECT_EQ(Count({.channel = "lockdown", .name = "StartSession"}), 0u);
}

TEST_F(ToolsTest, IdeviceinfoPrintsEveryValueAndADomain) {
  ToolResult all = RunTool({"ideviceinfo"});
  ASSERT_EQ(all.exit_code, 0) << all.output;
  EXPECT_NE(all.output.find(std::string("UniqueDeviceID: ") + kPhone), std::string::npos) << all.output;
  EXPECT_NE(all.output.find("DeviceName: Fidelity Phone"), std::string::npos);
  EXPECT_NE(all.output.find("PhoneNumber: +1 555 0100"), std::string::npos);
  EXPECT_NE(all.output.find("DevicePublicKey: "), std::string::npos);

  ToolResult disk = RunTool({"ideviceinfo", "-q", "com.apple.disk_usage"});
  ASSERT_EQ(disk.exit_code, 0) << disk.output;
  EXPECT_NE(disk.output.find("TotalDiskCapacity: 256000000000"), std::string::npos) << disk.output;
  EXPECT_EQ(disk.output.find("DeviceName"), std::string::npos);
  EXPECT_EQ(Count({.channel = "lockdown", .name = "GetValue", .arg_key = "Domain",
                   .arg_value = "com.apple.disk_usage"}),
            1u);
}

TEST_F(ToolsTest, IdevicenameReadsAndRenamesForTheRestOfTheRun) {
  ToolResult read = RunTool({"idevicename"});
  ASSERT_EQ(read.exit_code, 0) << read.output;
  EXPECT_EQ(read.output, "Fidelity Phone\n");

  ToolResult rename = RunTool({"idevicename", "Renamed Phone"});
  ASSERT_EQ(rename.exit_code, 0) << rename.output;
  std::string name, error;
  ASSERT_TRUE(sim_.GetDeviceName("phone", &name, &error)) << error;
  EXPECT_EQ(name, "Renamed Phone");
  EXPECT_EQ(RunTool({"idevicename"}).output, "Renamed Phone\n");
  EXPECT_EQ(Count({.channel = "lockdown", .name = "SetValue", .arg_key = "Key", .arg_value = "DeviceName"}), 1u);
}

TEST_F(ToolsTest, IdevicediagnosticsReadsTheBatteryEntryByName) {
  ToolResult battery = RunTool({"idevicediagnostics", "ioregentry", "IOPMPowerSource"});
  ASSERT_EQ(battery.exit_code, 0) << battery.output;
  EXPECT_NE(battery.output.find("<key>CycleCount</key>"), std::string::npos) << battery.output;
  EXPECT_NE(battery.output.find("<integer>417</integer>"), std::string::npos);
  EXPECT_EQ(Count({.channel = "com.apple.mobile.diagnostics_relay", .name = "IORegistry", .arg_key = "EntryName",
                   .arg_value = "IOPMPowerSource"}),
            1u);
}

TEST_F(ToolsTest, RuntimeValueChangesReachTheTools) {
  std::string error;
  ASSERT_TRUE(sim_.SetValue("phone", "com.apple.disk_usage", "TotalDiskCapacity", int64_t{1000}, &error)) << error;
  ToolResult disk = RunTool({"ideviceinfo", "-q", "com.apple.disk_usage", "-k", "TotalDiskCapacity"});
  EXPECT_EQ(disk.output, "1000\n");
}

}  // namespace
}  // namespace devicesim
