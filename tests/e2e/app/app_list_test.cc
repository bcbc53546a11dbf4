// Listing applications (501) through the real process against the simulated phone.
#include <map>
#include <sstream>

#include "app_scenario.h"
#include "tool_runner.h"

namespace e2e {
namespace {

using devicesim::Value;

Value StoreMetadata(const std::string& bundle_id, const std::string& display_name) {
  Value meta = Value::Dict();
  meta.Set("softwareVersionBundleId", bundle_id);
  meta.Set("bundleDisplayName", display_name);
  meta.Set("itemName", display_name + " - the store name");
  meta.Set("artistName", "Example Ltd");
  meta.Set("releaseDate", "2023-03-14T08:00:00Z");
  meta.Set("appleId", "buyer@example.com");
  Value download = Value::Dict();
  download.Set("purchaseDate", "2023-04-02T19:21:07Z");
  meta.Set("com.apple.iTunesStore.downloadInfo", download);
  return meta;
}

class AppList : public AppScenario {};

TEST_F(AppList, APhoneWithoutUserApplicationsCountsZeroAndSendsNoApplications) {
  phone_.AddApp({.bundle_id = "com.apple.Preferences", .type = "System", .display_name = "Settings"});
  ASSERT_TRUE(Start());
  CommandRun list = Command(501);
  EXPECT_EQ(list.code(), 0);
  EXPECT_EQ(list.final_report->header_code, 1);
  EXPECT_EQ(list.final_report->uuid, kPhoneUdid);
  ASSERT_EQ(list.reports.size(), 1u);
  EXPECT_EQ(list.reports[0].stage, 1);
  EXPECT_EQ(list.reports[0].header_code, 2);
  EXPECT_EQ(list.reports[0].info, "{\"Count\":0}");
  EXPECT_EQ(Count({.channel = "com.apple.mobile.installation_proxy", .name = "Browse"}), 2u);
}

TEST_F(AppList, EveryApplicationArrivesAsItsJsonObjectInTheDevicesOrder) {
  phone_.AddApp({.bundle_id = "com.example.sideloaded", .display_name = "Side", .name = "Side", .short_version = "0.9",
                 .version = "9", .path = "/private/var/containers/Bundle/Application/S/Side.app",
                 .dynamic_disk_usage = 4096, .static_disk_usage = 8192})
      .AddApp({.bundle_id = "com.example.store", .display_name = "Store", .version = "200",
               .path = "/private/var/containers/Bundle/Application/T/Store.app",
               .itunes_metadata = StoreMetadata("com.example.store", "Store Name"), .dynamic_disk_usage = 1,
               .static_disk_usage = 2});
  ASSERT_TRUE(Start());
  CommandRun list = Command(501);
  EXPECT_EQ(list.code(), 0);
  ASSERT_EQ(list.reports.size(), 3u);
  EXPECT_EQ(list.reports[0].info, "{\"Count\":2}");
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(list.reports[i].stage, 2);
    EXPECT_FALSE(list.reports[i].has_info);
    EXPECT_EQ(list.reports[i].type, 0);
  }
  // Installed outside the store: bundle members and sizes only.
  EXPECT_EQ(list.reports[1].data,
            R"({"ApplicationType":"User","CFBundleIdentifier":"com.example.sideloaded","CFBundleDisplayName":"Side",)"
            R"("CFBundleName":"Side","CFBundleShortVersionString":"0.9","CFBundleVersion":"9",)"
            R"("Path":"/private/var/containers/Bundle/Application/S/Side.app","data-size":4096,"app-size":8192})");
  // The bundle's own display name stays; the store adds what the bundle lacks.
  EXPECT_EQ(list.reports[2].data,
            R"({"ApplicationType":"User","CFBundleIdentifier":"com.example.store","CFBundleDisplayName":"Store",)"
            R"("CFBundleShortVersionString":"1.0","CFBundleVersion":"200",)"
            R"("Path":"/private/var/containers/Bundle/Application/T/Store.app","releaseDate":"2023-03-14T08:00:00Z",)"
            R"("artistName":"Example Ltd","itemName":"Store Name - the store name","AppleID":"buyer@example.com",)"
            R"("purchaseDate":"2023-04-02T19:21:07Z","data-size":1,"app-size":2})");
}

// "id, "version", "name"" lines of `ideviceinstaller -l`, by bundle identifier.
std::map<std::string, std::pair<std::string, std::string>> ParseInstallerList(const std::string& output) {
  std::map<std::string, std::pair<std::string, std::string>> apps;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    size_t comma = line.find(", \"");
    size_t middle = line.find("\", \"", comma == std::string::npos ? 0 : comma + 3);
    if (comma == std::string::npos || middle == std::string::npos || line.back() != '"') continue;
    apps[line.substr(0, comma)] = {line.substr(comma + 3, middle - comma - 3),
                                   line.substr(middle + 4, line.size() - middle - 5)};
  }
  return apps;
}

TEST_F(AppList, TheListMatchesWhatIdeviceinstallerPrintsBundleForBundle) {
  for (int i = 0; i < 14; ++i) {  // more than one Browse batch
    std::string n = std::to_string(i);
    devicesim::AppSpec app{.bundle_id = "com.example.app" + n, .display_name = "App " + n, .version = "1." + n};
    if (i % 3 == 0) app.itunes_metadata = StoreMetadata(app.bundle_id, "Store " + n);
    phone_.AddApp(app);
  }
  phone_.AddApp({.bundle_id = "com.apple.mobilesafari", .type = "System", .display_name = "Safari"});
  ASSERT_TRUE(Start());
  ToolRun tool = RunToolWithDeadline({"ideviceinstaller", "-u", kPhoneUdid, "-l"},
                                     {{"USBMUXD_SOCKET_ADDRESS", corvane_.simulator().SocketAddress()}}, 30000);
  ASSERT_EQ(tool.exit_code, 0) << tool.output;
  auto expected = ParseInstallerList(tool.output);
  ASSERT_EQ(expected.size(), 14u) << tool.output;

  CommandRun list = Command(501);
  ASSERT_EQ(list.code(), 0);
  ASSERT_EQ(list.reports.size(), 15u);
  EXPECT_EQ(list.reports[0].info, "{\"Count\":14}");
  std::map<std::string, std::pair<std::string, std::string>> listed;
  for (size_t i = 1; i < list.reports.size(); ++i) {
    const std::string& app = list.reports[i].data;
    listed[TextMember(app, "CFBundleIdentifier")] = {TextMember(app, "CFBundleVersion"),
                                                     TextMember(app, "CFBundleDisplayName")};
  }
  EXPECT_EQ(listed, expected);
}

TEST_F(AppList, CommonFailures) {
  phone_.DisableService("com.apple.mobile.installation_proxy");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Command(501).code(), 14);

  CommandRun unknown = Command(501, "", "00000000-0000000000000000");
  EXPECT_EQ(unknown.code(), 7);
  EXPECT_EQ(unknown.final_report->header_code, 6);
  EXPECT_EQ(unknown.final_report->uuid, "00000000-0000000000000000");
  EXPECT_TRUE(unknown.reports.empty());

  auto broken = corvane_.Run(900, 501, "{\"uuid\":", "");
  ASSERT_TRUE(broken);
  EXPECT_EQ(broken->code, 21);
  EXPECT_EQ(broken->header_code, 6);

  // A marker other than 1 means there is nothing to do.
  ASSERT_TRUE(corvane_.host().SendCommand(901, 501, std::string("{\"uuid\":\"") + kPhoneUdid + "\"}", "", "2"));
  auto nothing = corvane_.host().WaitFor(hostlink::FinalOf(901, 501), 30s);
  ASSERT_TRUE(nothing);
  EXPECT_EQ(nothing->code, 0);
  EXPECT_TRUE(corvane_.TakeReportsOf(901).empty());
}

}  // namespace
}  // namespace e2e
