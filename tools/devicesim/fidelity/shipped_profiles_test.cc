// The two ready profiles work with the Debian tools as shipped (copied first: AFC writes change afc/).
#include <filesystem>

#include "fidelity_fixture.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

class ShippedProfilesTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    for (const char* name : {"iphone-current", "ipad-older"}) {
      fs::copy(std::string(CORVANE_SOURCE_DIR) + "/tools/devicesim/profiles/" + name, ProfileDir(name),
               fs::copy_options::recursive);
      std::string error;
      ASSERT_TRUE(sim_.AddProfile(ProfileDir(name), true, &error)) << error;
    }
  }
};

TEST_F(ShippedProfilesTest, CurrentIphoneAnswersTheToolsWithItsApps) {
  constexpr char kUdid[] = "00008110-001A2D3C0E38801E";
  ToolResult info = RunTool({"ideviceinfo", "-u", kUdid});
  ASSERT_EQ(info.exit_code, 0) << info.output;
  EXPECT_NE(info.output.find("ProductVersion: 16.4.1"), std::string::npos);
  EXPECT_NE(info.output.find("TimeZoneOffsetFromUTC: -14400"), std::string::npos) << info.output;
  ToolResult apps = RunTool({"ideviceinstaller", "-u", kUdid, "-l"});
  ASSERT_EQ(apps.exit_code, 0) << apps.output;
  EXPECT_NE(apps.output.find("com.example.tidepool"), std::string::npos);
  EXPECT_EQ(apps.output.find("com.apple.mobilesafari"), std::string::npos);
}

TEST_F(ShippedProfilesTest, OlderIpadPairsThroughValidatePairAndIsJailbroken) {
  constexpr char kUdid[] = "4f1c27a9d3b05e6e8c2a1b7d9e0f3a4b5c6d7e8f";
  ToolResult name = RunTool({"idevicename", "-u", kUdid});
  EXPECT_EQ(name.output, "Workshop iPad\n");
  EXPECT_GT(Count({.udid = kUdid, .channel = "lockdown", .name = "ValidatePair"}), 0u);
  LockdownSession session(kUdid);
  ASSERT_TRUE(session.ok());
  lockdownd_service_descriptor_t afc2 = session.Start("com.apple.afc2");
  EXPECT_NE(afc2, nullptr);
  if (afc2) lockdownd_service_descriptor_free(afc2);
}

}  // namespace
}  // namespace devicesim
