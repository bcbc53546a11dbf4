// Uninstalling (505) and archiving (506) applications through the real process.
#include "app_scenario.h"

namespace e2e {
namespace {

class AppRemoval : public AppScenario {
 protected:
  AppRemoval() {
    phone_.AddApp({.bundle_id = "com.example.keep", .display_name = "Keep"})
        .AddApp({.bundle_id = "com.example.go", .display_name = "Go"});
  }
  std::vector<std::string> Installed() {
    std::vector<std::string> ids;
    std::string error;
    EXPECT_TRUE(corvane_.simulator().InstalledApps("phone", &ids, &error)) << error;
    return ids;
  }
};

TEST_F(AppRemoval, UninstallOfAnUnknownIdentifierEndsWithTheDevicesFailureAndCode0) {
  ASSERT_TRUE(Start());
  CommandRun uninstall = Command(505, R"(["com.example.nothere"])");
  EXPECT_EQ(uninstall.code(), 0);
  EXPECT_EQ(uninstall.final_report->header_code, 1);
  ASSERT_EQ(uninstall.reports.size(), 1u);
  EXPECT_EQ(uninstall.reports[0].info,
            R"({"bundle_id":"com.example.nothere","complete":false,"error":"LookupFailed",)"
            R"("description":"No application with bundle identifier com.example.nothere is installed"})");
  EXPECT_EQ(Installed().size(), 2u);
}

TEST_F(AppRemoval, UninstallForwardsProgressAndRemovesTheApplication) {
  ASSERT_TRUE(Start());
  CommandRun uninstall = Command(505, R"(["com.example.go", 7, "com.example.nothere"])");
  EXPECT_EQ(uninstall.code(), 0);
  ASSERT_EQ(uninstall.reports.size(), 3u);
  EXPECT_EQ(uninstall.reports[0].info, R"({"bundle_id":"com.example.go","percent":50})");
  EXPECT_EQ(uninstall.reports[0].stage, 2);
  EXPECT_EQ(uninstall.reports[0].uuid, kPhoneUdid);
  EXPECT_EQ(uninstall.reports[1].info, R"({"bundle_id":"com.example.go","complete":true})");
  EXPECT_EQ(TextMember(uninstall.reports[2].info, "error"), "LookupFailed");
  EXPECT_EQ(Installed(), std::vector<std::string>{"com.example.keep"});
}

TEST_F(AppRemoval, AnExchangeThatBreaksOffDoesNotLeakIntoTheNextItem) {
  // The first proxy connection is cut a few bytes into the device's first answer; the next one is sound.
  phone_.SetServiceFault("com.apple.mobile.installation_proxy", {devicesim::FaultKind::kDropAfterBytes, 6, 1});
  ASSERT_TRUE(Start());
  CommandRun uninstall = Command(505, R"(["com.example.go", "com.example.keep"])");
  EXPECT_EQ(uninstall.code(), 0);
  std::vector<std::string> outcomes;
  for (const hostlink::Report& report : uninstall.reports) {
    if (report.info.find("\"complete\"") != std::string::npos) outcomes.push_back(report.info);
  }
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0], R"({"bundle_id":"com.example.go","complete":false,"error":"NoAnswer"})");
  EXPECT_EQ(outcomes[1], R"({"bundle_id":"com.example.keep","complete":true})");
  EXPECT_EQ(Count({.channel = "lockdown", .name = "StartService", .arg_key = "Service",
                   .arg_value = "com.apple.mobile.installation_proxy"}),
            2u);
}

TEST_F(AppRemoval, ArchiveSendsTheArchiveCommand) {
  ASSERT_TRUE(Start());
  CommandRun archive = Command(506, R"(["com.example.go"])");
  EXPECT_EQ(archive.code(), 0);
  ASSERT_EQ(archive.reports.size(), 2u);
  EXPECT_EQ(archive.reports[0].info, R"({"bundle_id":"com.example.go","percent":50})");
  EXPECT_EQ(archive.reports[1].info, R"({"bundle_id":"com.example.go","complete":true})");
  EXPECT_EQ(Count({.channel = "com.apple.mobile.installation_proxy", .name = "Archive",
                   .arg_key = "ApplicationIdentifier", .arg_value = "com.example.go"}),
            1u);
}

TEST_F(AppRemoval, BadArgumentsAndAMissingProxy) {
  phone_.DisableService("com.apple.mobile.installation_proxy");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Command(505, "[\"unterminated").code(), 8);
  EXPECT_EQ(Command(506, "").code(), 8);
  EXPECT_EQ(Command(505, R"(["com.example.go"])").code(), 14);
  EXPECT_EQ(Command(506, R"(["com.example.go"])").code(), 14);
  EXPECT_EQ(Command(505, R"(["com.example.go"])", "no-such-device").code(), 7);
}

}  // namespace
}  // namespace e2e
