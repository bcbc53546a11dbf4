// The large-package writer: archives that minizip reads back with correct checksums, and holes instead of blocks.
#include "large_zip_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <filesystem>

#include "devicesim/ipa_builder.h"
#include "ipa_reader.h"

namespace devicesim {
namespace {

class LargeIpaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("large_ipa_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(LargeIpaTest, AFiveGibPackageTakesNoBlocksAndReadsAsAPackage) {
  Value meta = Value::Dict();
  meta.Set("itemName", "Huge");
  std::string error;
  ASSERT_TRUE(WriteLargeIpa(Path("huge.ipa"),
                            {.app = {.bundle_id = "com.example.huge", .itunes_metadata = meta}, .payload_bytes = 5ull << 30},
                            &error))
      << error;
  struct stat info;
  ASSERT_EQ(::stat(Path("huge.ipa").c_str(), &info), 0);
  EXPECT_GT(static_cast<uint64_t>(info.st_size), 5ull << 30);
  EXPECT_LT(static_cast<uint64_t>(info.st_blocks) * 512, 1ull << 20);
  IpaContents contents;
  ASSERT_TRUE(ReadIpa(Path("huge.ipa"), &contents, &error)) << error;
  EXPECT_EQ(contents.bundle_id, "com.example.huge");
  EXPECT_FALSE(contents.itunes_metadata.empty());
}

TEST_F(LargeIpaTest, EveryMemberPassesItsChecksumWhereverThePlistsAreStoredOrDeflated) {
  std::string error;
  ASSERT_TRUE(WriteLargeIpa(Path("small.ipa"),
                            {.app = {.bundle_id = "com.example.small", .itunes_metadata = Value::Dict()},
                             .payload_bytes = (3u << 20) + 17,
                             .plists_after_payload = true,
                             .deflate_plists = true},
                            &error));
  unzFile zip = unzOpen64(Path("small.ipa").c_str());
  ASSERT_NE(zip, nullptr);
  std::vector<std::string> names;
  std::vector<char> buffer(1 << 20);
  for (int status = unzGoToFirstFile(zip); status == UNZ_OK; status = unzGoToNextFile(zip)) {
    char name[256];
    unz_file_info64 entry;
    ASSERT_EQ(unzGetCurrentFileInfo64(zip, &entry, name, sizeof name, nullptr, 0, nullptr, 0), UNZ_OK);
    names.push_back(name);
    ASSERT_EQ(unzOpenCurrentFile(zip), UNZ_OK);
    while (unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size())) > 0) {
    }
    EXPECT_EQ(unzCloseCurrentFile(zip), UNZ_OK) << name;
  }
  unzClose(zip);
  EXPECT_EQ(names, (std::vector<std::string>{"Payload/App.app/App", "Payload/App.app/Assets.car",
                                             "Payload/App.app/Info.plist", "iTunesMetadata.plist"}));
}

}  // namespace
}  // namespace devicesim
