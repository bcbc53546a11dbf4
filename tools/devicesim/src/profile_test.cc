#include "profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "devicesim/profile_builder.h"
#include "plist_util.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/profile.XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void WriteJson(const std::string& text) {
    fs::create_directories(dir_ + "/p");
    std::ofstream(dir_ + "/p/device.json") << text;
  }

  std::string dir_;
};

TEST_F(ProfileTest, BuilderOutputLoadsWithTypedValues) {
  ProfileBuilder builder("UDID-1");
  builder.SetDeviceName("Phone A")
      .SetUniqueChipId(1234567890123)
      .Set("Ratio", 0.5)
      .Set("Blob", Value::Data(std::string("\x00\x01\xff", 3)))
      .Set("When", Value::Date(1700000000))
      .Set("Families", Value::Array({1, 2}))
      .Remove("PhoneNumber")
      .SetDomainValue("com.apple.disk_usage", "TotalDiskCapacity", int64_t{64000000000})
      .SetTrust(TrustState::kPending)
      .SetPasscodeLocked(true)
      .SetJailbroken(true)
      .SetAtcFirstMessage("Ping");
  std::string error;
  ASSERT_TRUE(builder.Write(dir_ + "/phone-a", &error)) << error;

  Profile profile;
  ASSERT_TRUE(LoadProfile(dir_ + "/phone-a/", &profile, &error)) << error;
  EXPECT_EQ(profile.name, "phone-a");
  EXPECT_EQ(profile.udid(), "UDID-1");
  EXPECT_TRUE(fs::is_directory(profile.afc_root));
  EXPECT_EQ(*profile.values.Find("DeviceName"), Value("Phone A"));
  EXPECT_EQ(*profile.values.Find("UniqueChipID"), Value(int64_t{1234567890123}));
  EXPECT_EQ(profile.values.Find("Ratio")->type(), Value::Type::kReal);
  EXPECT_EQ(*profile.values.Find("Blob"), Value::Data(std::string("\x00\x01\xff", 3)));
  EXPECT_EQ(*profile.values.Find("When"), Value::Date(1700000000));
  EXPECT_EQ(*profile.values.Find("Families"), Value::Array({1, 2}));
  EXPECT_EQ(*profile.domains.Find("com.apple.disk_usage")->Find("TotalDiskCapacity"), Value(int64_t{64000000000}));
  EXPECT_EQ(profile.trust, TrustState::kPending);
  EXPECT_TRUE(profile.passcode_locked);
  EXPECT_TRUE(profile.jailbroken);
  EXPECT_EQ(profile.atc_first_message, "Ping");
}

TEST_F(ProfileTest, ApplicationMetadataBecomesPlistDataAndColourIsNoAttribute) {
  ProfileBuilder builder("UDID-2");
  Value meta = Value::Dict();
  meta.Set("itemName", "Notes Pro");
  meta.Set("artistName", "Example");
  builder.AddApp({.bundle_id = "com.example.notes", .display_name = "Notes", .itunes_metadata = meta,
                  .static_disk_usage = 1000, .icon_color = "#FF0000"});
  std::string error;
  ASSERT_TRUE(builder.Write(dir_ + "/p2", &error)) << error;
  Profile profile;
  ASSERT_TRUE(LoadProfile(dir_ + "/p2", &profile, &error)) << error;
  ASSERT_EQ(profile.apps.size(), 1u);
  const AppRecord& app = profile.apps[0];
  EXPECT_EQ(app.bundle_id, "com.example.notes");
  EXPECT_EQ(app.icon_color, "#FF0000");
  EXPECT_EQ(app.attributes.Find("icon_color"), nullptr);
  EXPECT_EQ(*app.attributes.Find("StaticDiskUsage"), Value(int64_t{1000}));
  const Value* data = app.attributes.Find("iTunesMetadata");
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->type(), Value::Type::kData);
  PlistPtr parsed = ParsePlist(data->text().data(), data->text().size());
  EXPECT_EQ(FromPlist(parsed.get()), meta);
}

TEST_F(ProfileTest, FaultsAndServicesLoad) {
  ProfileBuilder builder("UDID-3");
  builder.RefuseConnects(2)
      .SetServiceFault("com.apple.afc", {.kind = FaultKind::kDropAfterBytes, .bytes = 100, .times = 1})
      .SetHostileListing("/DCIM")
      .DisableService("com.apple.atc")
      .EnableService("com.corvane.devicesim.stream");
  std::string error;
  ASSERT_TRUE(builder.Write(dir_ + "/p3", &error)) << error;
  Profile profile;
  ASSERT_TRUE(LoadProfile(dir_ + "/p3", &profile, &error)) << error;
  EXPECT_EQ(profile.refuse_connects, 2);
  ASSERT_EQ(profile.faults.count("com.apple.afc"), 1u);
  EXPECT_EQ(profile.faults["com.apple.afc"].kind, FaultKind::kDropAfterBytes);
  EXPECT_EQ(profile.faults["com.apple.afc"].bytes, 100u);
  EXPECT_EQ(profile.faults["com.apple.afc"].times, 1);
  EXPECT_EQ(profile.hostile_folder, "/DCIM");
  EXPECT_TRUE(profile.disabled_services.count("com.apple.atc"));
  EXPECT_TRUE(profile.extra_services.count("com.corvane.devicesim.stream"));
}

TEST_F(ProfileTest, ARequestDelayLoadsWithItsDuration) {
  ProfileBuilder builder("UDID-5");
  builder.SetServiceFault("com.apple.afc", {.kind = FaultKind::kDelayEachRequest, .delay_us = 1000});
  std::string error;
  ASSERT_TRUE(builder.Write(dir_ + "/p5", &error)) << error;
  Profile profile;
  ASSERT_TRUE(LoadProfile(dir_ + "/p5", &profile, &error)) << error;
  ASSERT_EQ(profile.faults.count("com.apple.afc"), 1u);
  EXPECT_EQ(profile.faults["com.apple.afc"].kind, FaultKind::kDelayEachRequest);
  EXPECT_EQ(profile.faults["com.apple.afc"].delay_us, 1000u);
  EXPECT_EQ(profile.faults["com.apple.afc"].times, -1);
}

TEST_F(ProfileTest, ASmallDataPartitionLoadsAndABadOneIsRefused) {
  ProfileBuilder builder("UDID-5");
  builder.SetAfcStorage(300 << 20);
  std::string error;
  ASSERT_TRUE(builder.Write(dir_ + "/p5", &error)) << error;
  Profile profile;
  ASSERT_TRUE(LoadProfile(dir_ + "/p5", &profile, &error)) << error;
  EXPECT_EQ(profile.afc_free_bytes, 300 << 20);

  WriteJson("{\"values\": {\"UniqueDeviceID\": \"u\"}, \"afc_storage\": {\"free_bytes\": -1}}");
  EXPECT_FALSE(LoadProfile(dir_ + "/p", &profile, &error));
  EXPECT_NE(error.find("afc_storage"), std::string::npos);
}

TEST_F(ProfileTest, AfcContentIsWrittenAsAsked) {
  ProfileBuilder builder("UDID-4");
  builder.AddFile("DCIM/100APPLE/IMG_0001.JPG", "jpeg")
      .AddFolder("Books")
      .AddSparseFile("big.bin", 1ull << 30)
      .AddGeneratedFile("gen.bin", 4096, 7)
      .AddSymlink("link", "DCIM");
  std::string error;
  ASSERT_TRUE(builder.Write(dir_ + "/p4", &error)) << error;
  std::string afc = dir_ + "/p4/afc";
  std::ifstream in(afc + "/DCIM/100APPLE/IMG_0001.JPG");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "jpeg");
  EXPECT_TRUE(fs::is_directory(afc + "/Books"));
  struct stat info;
  ASSERT_EQ(stat((afc + "/big.bin").c_str(), &info), 0);
  EXPECT_EQ(static_cast<uint64_t>(info.st_size), 1ull << 30);
  EXPECT_LT(info.st_blocks * 512, 1 << 20) << "sparse files take no space";
  std::ifstream gen(afc + "/gen.bin", std::ios::binary);
  std::string bytes(std::istreambuf_iterator<char>(gen), {});
  ASSERT_EQ(bytes.size(), 4096u);
  for (size_t i : {size_t{0}, size_t{1}, size_t{4095}}) {
    EXPECT_EQ(static_cast<uint8_t>(bytes[i]), ProfileBuilder::GeneratedByte(7, i));
  }
  EXPECT_NE(ProfileBuilder::GeneratedByte(7, 0), ProfileBuilder::GeneratedByte(8, 0));
  EXPECT_EQ(fs::read_symlink(afc + "/link"), "DCIM");
}

TEST_F(ProfileTest, RejectsProfilesThatCannotDescribeADevice) {
  Profile profile;
  std::string error;
  EXPECT_FALSE(LoadProfile(dir_ + "/none", &profile, &error));
  EXPECT_NE(error.find("device.json"), std::string::npos);

  WriteJson("{\"values\": {\"DeviceName\": \"x\"}}");
  EXPECT_FALSE(LoadProfile(dir_ + "/p", &profile, &error));
  EXPECT_NE(error.find("UniqueDeviceID"), std::string::npos);

  WriteJson("{\"values\": {\"UniqueDeviceID\": \"u\"}, \"trust\": \"maybe\"}");
  EXPECT_FALSE(LoadProfile(dir_ + "/p", &profile, &error));
  EXPECT_NE(error.find("trust"), std::string::npos);

  WriteJson("{\"values\": {\"UniqueDeviceID\": \"u\"}, \"applications\": [{\"CFBundleName\": \"x\"}]}");
  EXPECT_FALSE(LoadProfile(dir_ + "/p", &profile, &error));
  EXPECT_NE(error.find("CFBundleIdentifier"), std::string::npos);

  WriteJson("{\"values\": {\"UniqueDeviceID\": \"u\", \"Blob\": {\"$data\": \"***\"}}}");
  EXPECT_FALSE(LoadProfile(dir_ + "/p", &profile, &error));
  EXPECT_NE(error.find("base64"), std::string::npos);

  WriteJson("{\"values\": {\"UniqueDeviceID\": \"u\"},");
  EXPECT_FALSE(LoadProfile(dir_ + "/p", &profile, &error));
  EXPECT_NE(error.find("offset"), std::string::npos);
}

TEST(ShippedProfiles, LoadAndDescribeTheirDevices) {
  for (const char* name : {"iphone-current", "ipad-older"}) {
    Profile profile;
    std::string error;
    ASSERT_TRUE(LoadProfile(std::string(CORVANE_SOURCE_DIR) + "/tools/devicesim/profiles/" + name, &profile, &error))
        << error;
    EXPECT_FALSE(profile.udid().empty());
    EXPECT_FALSE(profile.apps.empty()) << name;
    EXPECT_NE(profile.diagnostics.Find("IOPMPowerSource"), nullptr) << name;
    EXPECT_NE(profile.asset_metrics.Find("_FreeSize"), nullptr) << name;
  }
}

}  // namespace
}  // namespace devicesim
