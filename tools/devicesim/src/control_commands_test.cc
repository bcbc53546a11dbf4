#include "devicesim/control_commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "devicesim/profile_builder.h"

namespace devicesim {
namespace {

class ControlCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/control.XXXXXX";
    dir_ = mkdtemp(pattern);
    std::string error;
    ASSERT_TRUE(ProfileBuilder("UDID-PHONE").SetDeviceName("Phone").Write(dir_ + "/phone", &error)) << error;
    ASSERT_TRUE(simulator_.AddProfile(dir_ + "/phone", false, &error)) << error;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Run(const std::string& line) { return RunControlCommand(simulator_, line, &quit_); }

  std::string dir_;
  Simulator simulator_;
  bool quit_ = false;
};

TEST_F(ControlCommandsTest, DeviceCommandsChangeTheDeviceByFolderNameOrUdid) {
  EXPECT_EQ(Run("attach phone"), "ok attach phone\n");
  DeviceStatus status;
  std::string error;
  ASSERT_TRUE(simulator_.Status("phone", &status, &error));
  EXPECT_TRUE(status.attached);
  EXPECT_EQ(Run("lock UDID-PHONE"), "ok lock UDID-PHONE\n");
  EXPECT_EQ(Run("deny phone"), "ok deny phone\n");
  ASSERT_TRUE(simulator_.Status("phone", &status, &error));
  EXPECT_TRUE(status.locked);
  EXPECT_EQ(status.trust, TrustState::kDenied);
  EXPECT_EQ(Run("  unlock   phone  "), "ok unlock phone\n");
  EXPECT_EQ(Run("trust phone"), "ok trust phone\n");
  EXPECT_EQ(Run("detach phone"), "ok detach phone\n");
  ASSERT_TRUE(simulator_.Status("phone", &status, &error));
  EXPECT_FALSE(status.attached);
  EXPECT_FALSE(status.locked);
  EXPECT_EQ(status.trust, TrustState::kTrusted);
}

TEST_F(ControlCommandsTest, ListShowsEveryDevice) {
  Run("attach phone");
  std::string out = Run("list");
  EXPECT_NE(out.find("phone UDID-PHONE attached trusted unlocked \"Phone\" id="), std::string::npos) << out;
}

TEST_F(ControlCommandsTest, ErrorsNameTheProblem) {
  EXPECT_EQ(Run("attach nosuch"), "error: no device named nosuch\n");
  EXPECT_EQ(Run("detach phone"), "error: phone is not attached\n");
  EXPECT_EQ(Run("attach"), "error: usage: attach NAME\n");
  EXPECT_EQ(Run("fly phone"), "error: unknown command 'fly' (try help)\n");
  EXPECT_EQ(Run(""), "");
  EXPECT_FALSE(quit_);
}

TEST_F(ControlCommandsTest, QuitEndsTheSession) {
  EXPECT_EQ(Run("quit"), "ok quit\n");
  EXPECT_TRUE(quit_);
}

}  // namespace
}  // namespace devicesim
