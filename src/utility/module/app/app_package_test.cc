#include "utility/module/app/app_package.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "devicesim/ipa_builder.h"
#include "iOSAPI/plist_message.h"

namespace {

using Members = std::vector<std::pair<std::string, std::string>>;

class AppPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("app_package_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // A zip of the members in order: stored (method 0) so that tests can find a member's bytes in the file.
  std::string WriteZip(const std::string& name, const Members& members, bool zip64 = false) {
    std::string path = Path(name);
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    EXPECT_NE(zip, nullptr);
    for (const auto& [member, content] : members) {
      zip_fileinfo info{};
      EXPECT_EQ(zipOpenNewFileInZip64(zip, member.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0, zip64 ? 1 : 0),
                ZIP_OK);
      EXPECT_EQ(zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size())), ZIP_OK);
      EXPECT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    EXPECT_EQ(zipClose(zip, nullptr), ZIP_OK);
    return path;
  }

  static std::string InfoPlist(const std::string& bundle_id, PlistFormat format = PlistFormat::kBinary) {
    PlistValue info = PlistValue::MakeDict({{"CFBundleIdentifier", PlistValue::String(bundle_id)},
                                            {"CFBundleName", PlistValue::String("Example")}});
    return SerializePlist(info, format).value();
  }

  std::filesystem::path dir_;
};

TEST_F(AppPackageTest, ReadsABinaryInfoPlistAndTheStoreMetadata) {
  devicesim::Value meta = devicesim::Value::Dict();
  meta.Set("itemName", "Fresh App");
  std::string error;
  ASSERT_TRUE(devicesim::WriteIpa(Path("fresh.ipa"),
                                  {.bundle_id = "com.example.fresh", .executable = "Fresh", .itunes_metadata = meta},
                                  &error));
  AppPackage package;
  std::string reason;
  ASSERT_EQ(ReadAppPackage(Path("fresh.ipa"), &package, &reason), PackageStatus::kOk) << reason;
  EXPECT_EQ(package.bundle_id, "com.example.fresh");
  EXPECT_EQ(package.app_folder, "Fresh.app");
  EXPECT_EQ(package.info.FindString("CFBundleName"), "Fresh");
  PlistValue parsed;
  ASSERT_TRUE(ParseMessage(package.store_metadata.data(), package.store_metadata.size(), &parsed));
  EXPECT_EQ(parsed.FindString("itemName"), "Fresh App");
}

TEST_F(AppPackageTest, ReadsAnXmlInfoPlistAndAPackageWithoutMetadata) {
  std::string error;
  ASSERT_TRUE(devicesim::WriteIpa(Path("xml.ipa"), {.bundle_id = "com.example.xml", .binary_info_plist = false}, &error));
  AppPackage package;
  std::string reason;
  ASSERT_EQ(ReadAppPackage(Path("xml.ipa"), &package, &reason), PackageStatus::kOk) << reason;
  EXPECT_EQ(package.bundle_id, "com.example.xml");
  EXPECT_TRUE(package.store_metadata.empty());
}

TEST_F(AppPackageTest, ReadsZip64Entries) {
  std::string path = WriteZip("zip64.ipa", {{"Payload/A.app/Info.plist", InfoPlist("com.example.big")},
                                            {"iTunesMetadata.plist", "<plist><dict/></plist>"}},
                              /*zip64=*/true);
  AppPackage package;
  std::string reason;
  ASSERT_EQ(ReadAppPackage(path, &package, &reason), PackageStatus::kOk) << reason;
  EXPECT_EQ(package.bundle_id, "com.example.big");
  EXPECT_EQ(package.store_metadata, "<plist><dict/></plist>");
}

// A package above 4 GiB whose plists lie behind its big member, where only zip64 offsets reach them.
TEST_F(AppPackageTest, MembersBeyondFourGibAreRead) {
  devicesim::Value meta = devicesim::Value::Dict();
  meta.Set("itemName", "Far Away");
  for (bool deflate : {false, true}) {
    std::string path = Path(deflate ? "far_deflated.ipa" : "far_stored.ipa"), error;
    ASSERT_TRUE(devicesim::WriteLargeIpa(path,
                                         {.app = {.bundle_id = "com.example.far", .itunes_metadata = meta},
                                          .payload_bytes = (4ull << 30) + (256u << 20),
                                          .plists_after_payload = true,
                                          .deflate_plists = deflate},
                                         &error))
        << error;
    AppPackage package;
    std::string reason;
    ASSERT_EQ(ReadAppPackage(path, &package, &reason), PackageStatus::kOk) << reason;
    EXPECT_EQ(package.bundle_id, "com.example.far");
    PlistValue parsed;
    ASSERT_TRUE(ParseMessage(package.store_metadata.data(), package.store_metadata.size(), &parsed)) << deflate;
    EXPECT_EQ(parsed.FindString("itemName"), "Far Away");
    std::filesystem::remove(path);
  }
}

TEST_F(AppPackageTest, InfoPlistsOfFrameworksAndNestedAppsAreNotTheBundles) {
  std::string path = WriteZip("nested.ipa", {{"Payload/A.app/Frameworks/F.framework/Info.plist", InfoPlist("com.f")},
                                             {"Payload/A.app/Watch/W.app/Info.plist", InfoPlist("com.w")},
                                             {"Payload/.app/Info.plist", InfoPlist("com.empty")},
                                             {"Payload/A.app/Info.plist", InfoPlist("com.example.a")}});
  AppPackage package;
  std::string reason;
  ASSERT_EQ(ReadAppPackage(path, &package, &reason), PackageStatus::kOk) << reason;
  EXPECT_EQ(package.bundle_id, "com.example.a");
}

TEST_F(AppPackageTest, BrokenPackagesAreUnreadable) {
  AppPackage package;
  std::string reason;
  std::ofstream(Path("text.ipa")) << "PK\x03\x04 but nothing more";
  EXPECT_EQ(ReadAppPackage(Path("text.ipa"), &package, &reason), PackageStatus::kUnreadable);
  EXPECT_EQ(ReadAppPackage(Path("missing.ipa"), &package, &reason), PackageStatus::kUnreadable);
  std::string no_app = WriteZip("no_app.ipa", {{"Payload/readme.txt", "hello"}});
  EXPECT_EQ(ReadAppPackage(no_app, &package, &reason), PackageStatus::kUnreadable);
  std::string no_id = WriteZip("no_id.ipa", {{"Payload/A.app/Info.plist",
                                              SerializePlist(PlistValue::MakeDict({}), PlistFormat::kBinary).value()}});
  EXPECT_EQ(ReadAppPackage(no_id, &package, &reason), PackageStatus::kUnreadable);
  std::string not_plist = WriteZip("not_plist.ipa", {{"Payload/A.app/Info.plist", "just text"}});
  EXPECT_EQ(ReadAppPackage(not_plist, &package, &reason), PackageStatus::kUnreadable);
}

TEST_F(AppPackageTest, AMemberThatFailsItsChecksumIsNotTrusted) {
  std::string info = InfoPlist("com.example.crc", PlistFormat::kXml);
  std::string path = WriteZip("crc.ipa", {{"Payload/A.app/Info.plist", info}});
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t at = bytes.find("com.example.crc");
  ASSERT_NE(at, std::string::npos);
  bytes[at + 4] = 'X';  // still a property list, but no longer the bytes the checksum covers
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  AppPackage package;
  std::string reason;
  EXPECT_EQ(ReadAppPackage(path, &package, &reason), PackageStatus::kUnreadable);
}

TEST_F(AppPackageTest, BrokenMetadataLeavesThePackageInstallable) {
  std::string path = WriteZip("meta.ipa", {{"Payload/A.app/Info.plist", InfoPlist("com.example.m")},
                                           {"iTunesMetadata.plist", "not a plist, but readable"}});
  AppPackage package;
  std::string reason;
  ASSERT_EQ(ReadAppPackage(path, &package, &reason), PackageStatus::kOk);
  EXPECT_EQ(package.store_metadata, "not a plist, but readable");
}

TEST_F(AppPackageTest, AHostileIdentifierIsRefused) {
  std::string path = WriteZip("evil.ipa", {{"Payload/A.app/Info.plist", InfoPlist("../../etc/evil")}});
  AppPackage package;
  std::string reason;
  EXPECT_EQ(ReadAppPackage(path, &package, &reason), PackageStatus::kUnsafeIdentifier);
}

TEST(BundleIdentifier, OnlyIdentifiersThatStayInTheFolderAndFitTheMessageAreSafe) {
  EXPECT_TRUE(IsSafeBundleIdentifier("com.example.app"));
  EXPECT_TRUE(IsSafeBundleIdentifier("com.example.a&b<c>\"d'e"));
  EXPECT_TRUE(IsSafeBundleIdentifier("com.example.\xC3\xA9t\xC3\xA9"));  // UTF-8
  EXPECT_TRUE(IsSafeBundleIdentifier(std::string(251, 'a')));
  for (std::string hostile : {std::string(), std::string(".."), std::string("../x"), std::string("a/b"),
                              std::string("com..example"), std::string("a\\b"), std::string("a\0b", 3),
                              std::string("line\nbreak"), std::string("tab\tbed"), std::string("del\x7F"),
                              std::string("bad\xC3"), std::string("bad\xFF\xFE"), std::string(252, 'a')}) {
    EXPECT_FALSE(IsSafeBundleIdentifier(hostile)) << hostile;
  }
}

}  // namespace
