// Info.plist from given sources: every key with its source, the applications and files, what a device that
// gives little still gets, and the GUID's alphabet.
#include "utility/module/itunes/info_plist.h"

#include <gtest/gtest.h>

namespace {

TEST(InfoPlist, EveryKeyComesFromItsSource) {
  InfoPlistSources sources;
  sources.value = [](const char* key) -> std::optional<PlistValue> {
    std::string name = key;
    if (name == "DeviceName") return PlistValue::String("Phone");
    if (name == "UniqueDeviceID") return PlistValue::String("UDID");
    if (name == "ProductVersion") return PlistValue::String("16.4.1");
    if (name == "IntegratedCircuitCardIdentity") return PlistValue::String("8901");
    return std::nullopt;
  };
  BackupAppEntry app;
  app.bundle_id = "com.example.app";
  app.metadata = PlistValue::Data("meta");
  app.icon_png = "\x89PNG";
  sources.apps.push_back(app);
  sources.itunes_files = {{"iTunesPrefs", "prefs"}};
  sources.ibooks_data = "books";
  sources.now = 1796735700;
  PlistValue info = BuildInfoPlist(sources);

  EXPECT_EQ(info.FindString("Device Name"), "Phone");
  EXPECT_EQ(info.FindString("Display Name"), "Phone");
  EXPECT_EQ(info.FindString("Target Identifier"), "UDID");
  EXPECT_EQ(info.FindString("Unique Identifier"), "UDID");
  EXPECT_EQ(info.FindString("Product Version"), "16.4.1");
  EXPECT_EQ(info.FindString("ICCID"), "8901");
  EXPECT_EQ(info.Find("IMEI"), nullptr);  // the device has none
  EXPECT_EQ(info.FindString("Target Type"), "Device");
  EXPECT_EQ(info.FindString("iTunes Version"), "11.2.2.3");
  EXPECT_EQ(info.Find("Last Backup Date")->Text(), "2026-12-08T13:15:00Z");
  const PlistValue* entry = info.FindDict("Applications")->FindDict("com.example.app");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->Find("PlaceholderIcon")->Bytes(), "\x89PNG");
  EXPECT_EQ(entry->Find("iTunesMetadata")->Bytes(), "meta");
  EXPECT_EQ(entry->Find("ApplicationSINF"), nullptr);
  EXPECT_EQ(info.FindArray("Installed Applications")->array().size(), 1u);
  EXPECT_EQ(info.FindDict("iTunes Files")->Find("iTunesPrefs")->Bytes(), "prefs");
  EXPECT_EQ(info.Find("iBooks Data 2")->Bytes(), "books");
  EXPECT_TRUE(info.FindDict("iTunes Settings")->dict().empty());
}

TEST(InfoPlist, ADeviceThatGivesNothingStillGetsTheFixedKeys) {
  PlistValue info = BuildInfoPlist(InfoPlistSources{});
  EXPECT_EQ(info.FindString("Target Type"), "Device");
  EXPECT_NE(info.FindDict("Applications"), nullptr);
  EXPECT_NE(info.FindArray("Installed Applications"), nullptr);
  EXPECT_EQ(info.Find("iBooks Data 2"), nullptr);
  EXPECT_EQ(info.Find("Device Name"), nullptr);
}

TEST(InfoPlist, TheGuidIs32CharactersOfItsAlphabetAndFollowsItsSeed) {
  std::string guid = BackupGuid(1796735700);
  EXPECT_EQ(guid.size(), 32u);
  EXPECT_EQ(guid.find_first_not_of("ABCDEF0123456789"), std::string::npos);
  EXPECT_EQ(BackupGuid(1796735700), guid);
  EXPECT_NE(BackupGuid(1796735701), guid);
}

}  // namespace
