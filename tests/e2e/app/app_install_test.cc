// Installing packages (504) through the real process against the simulated phone.
#include <filesystem>
#include <fstream>

#include "app_scenario.h"
#include "support/one_shot_http_server.h"
#include "devicesim/ipa_builder.h"

namespace e2e {
namespace {

using devicesim::Value;

constexpr char kProxy[] = "com.apple.mobile.installation_proxy";

std::string JsonArray(const std::vector<std::string>& items) {
  std::string json = "[";
  for (const std::string& item : items) json += (json.size() > 1 ? "," : "") + JsonQuoted(item);
  return json + "]";
}

class AppInstall : public AppScenario {
 protected:
  std::string Package(const std::string& name, devicesim::IpaSpec spec) {
    std::string path = TempPath(name), error;
    EXPECT_TRUE(devicesim::WriteIpa(path, spec, &error)) << error;
    return path;
  }
  std::vector<std::string> Installed() {
    std::vector<std::string> ids;
    std::string error;
    EXPECT_TRUE(corvane_.simulator().InstalledApps("phone", &ids, &error)) << error;
    return ids;
  }
  // The device requests of the upload and the install, in the order the device saw them.
  std::vector<std::string> UploadsAndInstalls() {
    std::vector<std::string> seen;
    for (const devicesim::Request& request : corvane_.simulator().Log().Snapshot()) {
      if (request.channel == "afc" && request.name == "FILE_OPEN") seen.push_back("upload " + request.Arg("Path"));
      if (request.channel == kProxy && request.name == "Upgrade") seen.push_back("install " + request.Arg("PackagePath"));
    }
    return seen;
  }
};

TEST_F(AppInstall, TwoPackagesInstallOneAfterTheOtherEachToItsOwnPath) {
  ASSERT_TRUE(Start());
  Value meta = Value::Dict();
  meta.Set("itemName", "First Store Name");
  meta.Set("artistName", "Example Ltd");
  std::string first = Package("first.ipa", {.bundle_id = "com.example.first", .executable = "First",
                                            .display_name = "First", .version = "11", .itunes_metadata = meta});
  std::string second = Package("second.ipa", {.bundle_id = "com.example.second", .executable = "Second",
                                              .version = "22", .binary_info_plist = false});
  CommandRun install = Command(504, JsonArray({first, second}));
  EXPECT_EQ(install.code(), 0);
  EXPECT_EQ(UploadsAndInstalls(),
            (std::vector<std::string>{"upload general_storage/com.example.first.ipa",
                                      "install general_storage/com.example.first.ipa",
                                      "upload general_storage/com.example.second.ipa",
                                      "install general_storage/com.example.second.ipa"}));
  EXPECT_EQ(Installed(), (std::vector<std::string>{"com.example.first", "com.example.second"}));
  for (const auto& [id, local] : {std::pair{"com.example.first", first}, std::pair{"com.example.second", second}}) {
    std::string on_device = AfcFolder() + "/general_storage/" + id + ".ipa";
    ASSERT_TRUE(std::filesystem::exists(on_device)) << on_device;
    EXPECT_EQ(std::filesystem::file_size(on_device), std::filesystem::file_size(local));
  }

  // Per package: its information, progress, then its outcome.
  ASSERT_GE(install.reports.size(), 4u);
  const hostlink::Report& info = install.reports[0];
  EXPECT_EQ(info.stage, 2);
  EXPECT_EQ(info.info, R"({"bundle_id":"com.example.first","package":")" + first + R"("})");
  EXPECT_EQ(info.data, R"({"CFBundleIdentifier":"com.example.first","CFBundleDisplayName":"First",)"
                       R"("CFBundleName":"First","CFBundleShortVersionString":"1.0","CFBundleVersion":"11",)"
                       R"("artistName":"Example Ltd","itemName":"First Store Name"})");
  std::vector<std::string> infos;
  for (const hostlink::Report& report : install.reports) infos.push_back(report.info);
  size_t first_outcome = 0;
  while (first_outcome < infos.size() && infos[first_outcome].find("\"complete\"") == std::string::npos) ++first_outcome;
  ASSERT_LT(first_outcome, infos.size());
  EXPECT_EQ(infos[first_outcome], R"({"bundle_id":"com.example.first","package":")" + first + R"(","complete":true})");
  for (size_t i = 1; i < first_outcome; ++i) {
    EXPECT_EQ(infos[i].rfind(R"({"bundle_id":"com.example.first","percent":)", 0), 0u) << infos[i];
  }
  EXPECT_EQ(first_outcome, 11u) << "the simulated installer reports ten steps";
  EXPECT_EQ(infos[first_outcome + 1], R"({"bundle_id":"com.example.second","package":")" + second + R"("})");
  EXPECT_EQ(infos.back(), R"({"bundle_id":"com.example.second","package":")" + second + R"(","complete":true})");

  CommandRun list = Command(501);
  ASSERT_EQ(list.reports.size(), 3u);
  EXPECT_EQ(list.reports[0].info, "{\"Count\":2}");
  EXPECT_EQ(TextMember(list.reports[1].data, "CFBundleIdentifier"), "com.example.first");
  EXPECT_EQ(TextMember(list.reports[1].data, "itemName"), "First Store Name");
  EXPECT_EQ(TextMember(list.reports[2].data, "CFBundleIdentifier"), "com.example.second");
}

TEST_F(AppInstall, AnIdentifierWithXmlSpecialCharactersInstallsWithoutBreakingTheMessage) {
  ASSERT_TRUE(Start());
  const std::string id = "com.example.<string>&amp;\"quoted\"'";
  CommandRun install = Command(504, JsonArray({Package("special.ipa", {.bundle_id = id})}));
  EXPECT_EQ(install.code(), 0);
  EXPECT_EQ(Installed(), std::vector<std::string>{id});
  EXPECT_EQ(Count({.channel = kProxy, .name = "Upgrade", .arg_key = "PackagePath",
                   .arg_value = "general_storage/" + id + ".ipa"}),
            1u);
  ASSERT_FALSE(install.reports.empty());
  EXPECT_EQ(TextMember(install.reports.back().info, "bundle_id"), id);
  EXPECT_NE(install.reports.back().info.find("\"complete\":true"), std::string::npos);
}

TEST_F(AppInstall, PackagesThatCannotBeReadOrUploadedAreSkippedWithoutTheirInstallMessage) {
  ASSERT_TRUE(Start());
  std::string broken = TempPath("broken.ipa");
  std::ofstream(broken) << "no zip at all";
  std::string hostile = Package("hostile.ipa", {.bundle_id = "../../escape"});
  std::string good = Package("good.ipa", {.bundle_id = "com.example.good"});
  std::string missing = TempPath("missing.ipa");
  CommandRun install = Command(504, "[" + JsonQuoted(broken) + ",42," + JsonQuoted(hostile) + "," +
                                        JsonQuoted(missing) + "," + JsonQuoted(good) + "]");
  EXPECT_EQ(install.code(), 0);
  std::vector<hostlink::Report> outcomes = install.WithMember("complete");
  ASSERT_EQ(outcomes.size(), 4u);
  EXPECT_EQ(outcomes[0].info, R"({"package":")" + broken + R"(","complete":false,"error":"PackageUnreadable"})");
  EXPECT_EQ(outcomes[1].info, R"({"package":")" + hostile + R"(","complete":false,"error":"UnsafeBundleIdentifier"})");
  EXPECT_EQ(outcomes[2].info, R"({"package":")" + missing + R"(","complete":false,"error":"PackageUnreadable"})");
  EXPECT_NE(outcomes[3].info.find("\"complete\":true"), std::string::npos);
  EXPECT_EQ(UploadsAndInstalls(), (std::vector<std::string>{"upload general_storage/com.example.good.ipa",
                                                            "install general_storage/com.example.good.ipa"}));
}

TEST_F(AppInstall, APackageThatCannotBeUploadedIsNotInstalled) {
  phone_.AddFile("general_storage", "a file where the folder should be");
  ASSERT_TRUE(Start());
  std::string path = Package("a.ipa", {.bundle_id = "com.example.a"});
  CommandRun install = Command(504, JsonArray({path}));
  EXPECT_EQ(install.code(), 0);
  ASSERT_FALSE(install.reports.empty());
  EXPECT_EQ(install.reports.back().info,
            R"({"bundle_id":"com.example.a","package":")" + path + R"(","complete":false,"error":"UploadFailed"})");
  EXPECT_EQ(Count({.channel = kProxy, .name = "Upgrade"}), 0u);
  EXPECT_TRUE(Installed().empty());
}

TEST_F(AppInstall, TheStoreIconIsDownloadedAndAFailedDownloadDoesNotStopTheInstall) {
  ASSERT_TRUE(Start());
  const std::string png = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x39\0\0\0\x39", 24) + "pixels";
  testing_support::OneShotHttpServer store({testing_support::HttpAnswer("200 OK", "Content-Type: image/png\r\n", png)});
  std::string icon = store.Url("/icon57.png");
  Value with_icon = Value::Dict();
  with_icon.Set("softwareIcon57x57URL", icon);
  Value unreachable = Value::Dict();
  unreachable.Set("softwareIcon57x57URL", "http://127.0.0.1:1/icon57.png");
  CommandRun install = Command(504, JsonArray({Package("a.ipa", {.bundle_id = "com.example.a", .itunes_metadata = with_icon}),
                                               Package("b.ipa", {.bundle_id = "com.example.b", .itunes_metadata = unreachable})}));
  EXPECT_EQ(install.code(), 0);
  std::vector<hostlink::Report> icons = install.WithMember("url");
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].info, R"({"bundle_id":"com.example.a","url":")" + icon + R"("})");
  EXPECT_EQ(icons[0].type, 1);
  EXPECT_EQ(icons[0].data, png);
  EXPECT_EQ(Installed(), (std::vector<std::string>{"com.example.a", "com.example.b"}));
}

TEST_F(AppInstall, AStoppedInstallEndsBetweenPackagesWithCode6) {
  ASSERT_TRUE(Start());
  std::vector<std::string> packages;
  for (int i = 0; i < 60; ++i) {
    std::string id = "com.example.many" + std::to_string(i);
    packages.push_back(Package(id + ".ipa", {.bundle_id = id}));
  }
  constexpr uint64_t kTask = 777;
  // The install is still under way when the stop arrives: the device holds the second package's install until the
  // stop is answered.
  int stall = corvane_.simulator().StallRequests({.channel = kProxy, .name = "Upgrade"}, 1);
  ASSERT_TRUE(corvane_.host().SendCommand(kTask, 504, std::string("{\"uuid\":\"") + kPhoneUdid + "\"}",
                                          JsonArray(packages)));
  auto first_outcome = corvane_.host().WaitFor(
      [](const hostlink::Report& r) { return r.task_id == kTask && r.info.find("\"complete\"") != std::string::npos; },
      30s);
  ASSERT_TRUE(first_outcome);
  ASSERT_TRUE(corvane_.host().SendCommand(778, 600, R"({"info":{"task_id":"777"}})"));
  auto stop_answered = corvane_.host().WaitFor(hostlink::FinalOf(778, 600), 30s);
  corvane_.simulator().ReleaseStall(stall);
  ASSERT_TRUE(stop_answered);
  auto stopped = corvane_.host().WaitFor(hostlink::FinalOf(kTask, 504), 30s);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->code, 6);
  EXPECT_EQ(stopped->header_code, 5);
  size_t installed = Installed().size();
  EXPECT_GE(installed, 1u);
  EXPECT_LT(installed, packages.size());
  // The package under way when the stop came was finished: every upload that started was installed.
  EXPECT_EQ(Count({.channel = kProxy, .name = "Upgrade"}), installed);
  EXPECT_FALSE(corvane_.host().WaitFor(hostlink::FinalOf(kTask, 504), 500ms)) << "one final report only";
}

TEST_F(AppInstall, ServicesThatCannotStartGiveTheirCodes) {
  phone_.DisableService(kProxy);
  ASSERT_TRUE(Start());
  std::string path = Package("a.ipa", {.bundle_id = "com.example.a"});
  EXPECT_EQ(Command(504, JsonArray({path})).code(), 14);
  std::string error;
  ASSERT_TRUE(corvane_.simulator().SetServiceFault("phone", "com.apple.afc", {.kind = devicesim::FaultKind::kRefuse},
                                                   &error));
  CommandRun no_afc = Command(504, JsonArray({path}));
  EXPECT_EQ(no_afc.code(), 12);
  EXPECT_TRUE(no_afc.reports.empty());
  EXPECT_EQ(Command(504, "not json").code(), 8);
  EXPECT_EQ(Command(504, "{\"not\":\"an array\"}").code(), 8);
}

}  // namespace
}  // namespace e2e
