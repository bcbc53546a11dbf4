// Application icons (502) from springboard services, through the real process.
#include <thread>

#include "app_scenario.h"

namespace e2e {
namespace {

class AppIcons : public AppScenario {
 protected:
  AppIcons() {
    phone_.AddApp({.bundle_id = "com.example.keep", .display_name = "Keep", .icon_color = "#FF0000"})
        .AddApp({.bundle_id = "com.example.go", .display_name = "Go", .icon_color = "#00FF00"});
  }
};

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

TEST_F(AppIcons, IconsArriveAsPngDataOnePerIdentifier) {
  ASSERT_TRUE(Start());
  CommandRun icons = Command(502, R"(["com.example.keep","com.example.<&>","com.example.go"])");
  EXPECT_EQ(icons.code(), 0);
  ASSERT_EQ(icons.reports.size(), 3u);
  const char* ids[] = {"com.example.keep", "com.example.<&>", "com.example.go"};
  for (size_t i = 0; i < 3; ++i) {
    const hostlink::Report& icon = icons.reports[i];
    EXPECT_EQ(icon.info, std::string("{\"bundle_id\":\"") + ids[i] + "\"}");
    EXPECT_EQ(icon.stage, 2);
    EXPECT_EQ(icon.type, 1);
    ASSERT_GE(icon.data.size(), 33u);
    EXPECT_EQ(icon.data.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(BigEndian32(icon.data, 8), 13u) << "IHDR is 13 bytes long";
    EXPECT_EQ(icon.data.substr(12, 4), "IHDR");
    EXPECT_GT(BigEndian32(icon.data, 16), 0u);
    EXPECT_GT(BigEndian32(icon.data, 20), 0u);
  }
  EXPECT_NE(icons.reports[0].data, icons.reports[2].data) << "each application has its own icon";
  EXPECT_EQ(Count({.channel = "com.apple.springboardservices", .name = "getIconPNGData",
                   .arg_key = "BundleID", .arg_value = "com.example.<&>"}),
            1u);
}

TEST_F(AppIcons, ALateAnswerAfterATimeOutIsNotTakenForTheNextIdentifiersIcon) {
  ASSERT_TRUE(Start());
  CommandRun reference = Command(502, R"(["com.example.keep","com.example.go"])");
  ASSERT_EQ(reference.reports.size(), 2u);
  const std::string keep_icon = reference.reports[0].data, go_icon = reference.reports[1].data;
  ASSERT_NE(keep_icon, go_icon);

  // The device answers the first identifier only once the helper has given up on it and asked for the next.
  devicesim::Simulator& simulator = corvane_.simulator();
  devicesim::RequestFilter keep{.channel = "com.apple.springboardservices", .name = "getIconPNGData",
                                .arg_key = "BundleID", .arg_value = "com.example.keep"};
  devicesim::RequestFilter go = keep;
  go.arg_value = "com.example.go";
  int stall = simulator.StallRequests(keep);
  constexpr uint64_t kTask = 520;
  ASSERT_TRUE(corvane_.host().SendCommand(kTask, 502, std::string("{\"uuid\":\"") + kPhoneUdid + "\"}",
                                          R"(["com.example.keep","com.example.go"])"));
  size_t go_before = Count(go);
  auto deadline = std::chrono::steady_clock::now() + 30s;
  while (Count(go) == go_before && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  simulator.ReleaseStall(stall);
  ASSERT_GT(Count(go), go_before) << "the next identifier was never asked for on a connection that answers";

  auto final = corvane_.host().WaitFor(hostlink::FinalOf(kTask, 502), 30s);
  ASSERT_TRUE(final);
  EXPECT_EQ(final->code, 0);
  std::vector<hostlink::Report> icons;
  for (const hostlink::Report& report : corvane_.TakeReportsOf(kTask)) {
    if (!report.is_final()) icons.push_back(report);
  }
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].info, R"({"bundle_id":"com.example.go"})");
  EXPECT_TRUE(icons[0].data == go_icon) << "the late icon of com.example.keep was taken for com.example.go";
}

TEST_F(AppIcons, IconsWithoutSpringboardServicesGiveCode14) {
  phone_.DisableService("com.apple.springboardservices");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Command(502, R"(["com.example.keep"])").code(), 14);
}

}  // namespace
}  // namespace e2e
