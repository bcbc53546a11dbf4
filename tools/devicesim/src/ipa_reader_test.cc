#include "ipa_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>

#include "devicesim/ipa_builder.h"

namespace devicesim {
namespace {

class IpaReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ipa.XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(IpaReaderTest, ReadsBundleAndStoreMetadataFromBinaryAndXmlInfoPlists) {
  for (bool binary : {true, false}) {
    Value meta = Value::Dict();
    meta.Set("itemName", "Example");
    IpaSpec spec{.bundle_id = "com.example.app", .executable = "Example", .display_name = "Ex",
                 .binary_info_plist = binary, .itunes_metadata = meta};
    std::string path = dir_ + (binary ? "/bin.ipa" : "/xml.ipa"), error;
    ASSERT_TRUE(WriteIpa(path, spec, &error)) << error;
    IpaContents contents;
    ASSERT_TRUE(ReadIpa(path, &contents, &error)) << error;
    EXPECT_EQ(contents.bundle_id, "com.example.app");
    EXPECT_EQ(contents.app_folder, "Example.app");
    EXPECT_EQ(*contents.info.Find("CFBundleDisplayName"), Value("Ex"));
    EXPECT_NE(contents.itunes_metadata.find("itemName"), std::string::npos);
    EXPECT_GT(contents.unpacked_size, 0u);
  }
}

TEST_F(IpaReaderTest, RefusesBrokenPackages) {
  std::string error;
  IpaContents contents;
  std::ofstream(dir_ + "/garbage.ipa") << "PK not really a zip";
  EXPECT_FALSE(ReadIpa(dir_ + "/garbage.ipa", &contents, &error));
  EXPECT_FALSE(ReadIpa(dir_ + "/missing.ipa", &contents, &error));

  // An Info.plist deeper than Payload/<name>.app/ belongs to an embedded bundle, not the application.
  IpaSpec nested{.bundle_id = "x", .executable = "App"};
  zipFile zip = zipOpen((dir_ + "/nested.ipa").c_str(), APPEND_STATUS_CREATE);
  zip_fileinfo info{};
  zipOpenNewFileInZip(zip, "Payload/App.app/PlugIns/P.appex/Info.plist", &info, nullptr, 0, nullptr, 0, nullptr,
                      Z_DEFLATED, Z_DEFAULT_COMPRESSION);
  zipWriteInFileInZip(zip, "<plist/>", 8);
  zipCloseFileInZip(zip);
  zipClose(zip, nullptr);
  EXPECT_FALSE(ReadIpa(dir_ + "/nested.ipa", &contents, &error));
  EXPECT_NE(error.find("Info.plist"), std::string::npos);

  IpaSpec no_id{.bundle_id = ""};
  ASSERT_TRUE(WriteIpa(dir_ + "/noid.ipa", no_id, &error));
  EXPECT_FALSE(ReadIpa(dir_ + "/noid.ipa", &contents, &error));
  EXPECT_NE(error.find("CFBundleIdentifier"), std::string::npos);
}

}  // namespace
}  // namespace devicesim
