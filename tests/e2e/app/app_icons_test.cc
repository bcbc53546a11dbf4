// Application icons (502) from springboard services, through the real process.
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

TEST_F(AppIcons, IconsWithoutSpringboardServicesGiveCode14) {
  phone_.DisableService("com.apple.springboardservices");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Command(502, R"(["com.example.keep"])").code(), 14);
}

}  // namespace
}  // namespace e2e
