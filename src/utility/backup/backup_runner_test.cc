// The folder rules of a backup: the time suffix and its bounds, a second backup within the same second, and the
// hard-linked start from the newest complete earlier backup.
#include "utility/backup/backup_runner.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class UtcZone : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* zone = getenv("TZ");
    saved_ = zone ? zone : "";
    had_ = zone != nullptr;
    setenv("TZ", "UTC", 1);
    tzset();
    root_ = fs::path(::testing::TempDir()) / ("runner-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    if (had_) {
      setenv("TZ", saved_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
    fs::remove_all(root_);
  }
  void Backup(const std::string& name, bool complete, const std::string& content) {
    fs::create_directories(root_ / name / "ab");
    std::ofstream(root_ / name / "ab" / "abcdef") << content;
    std::ofstream(root_ / name / "Manifest.db") << content;
    std::ofstream(root_ / name / "Manifest.plist") << content;
    if (complete) std::ofstream(root_ / name / "Status.plist") << content;
  }
  std::string saved_;
  bool had_ = false;
  fs::path root_;
};

TEST_F(UtcZone, TheSuffixIsTheLocalTimeAndTimesOutOfRangeCountAsZero) {
  EXPECT_EQ(BackupTimeSuffix(1796735700), "-20261208131500");
  EXPECT_EQ(BackupTimeSuffix(-5), "-19700101000000");
  EXPECT_EQ(BackupTimeSuffix(32535194400), "-19700101000000");
  EXPECT_EQ(BackupTimeSuffix(32535194399), "-30001231175959");
}

TEST_F(UtcZone, ASecondBackupInTheSameSecondGetsAFolderOfItsOwn) {
  EXPECT_EQ(ReserveBackupFolder(root_.string(), "U", 0), "U-19700101000000");
  EXPECT_TRUE(fs::is_directory(root_ / "U-19700101000000"));
  fs::create_directories(root_ / "U-19700101000000-2");
  EXPECT_EQ(ReserveBackupFolder(root_.string(), "U", 0), "U-19700101000000-3");
  EXPECT_EQ(ReserveBackupFolder((root_ / "missing").string(), "U", 0), "");
}

TEST_F(UtcZone, TheNewestCompleteEarlierBackupIsLinkedIntoTheNewFolder) {
  Backup("U-20200101000000", true, "older");
  Backup("U-20210101000000", true, "newer");
  Backup("U-20220101000000", false, "incomplete");
  Backup("OTHER-20230101000000", true, "another device");
  auto now = fs::file_time_type::clock::now();
  fs::last_write_time(root_ / "U-20200101000000" / "Status.plist", now - std::chrono::hours(48));
  fs::last_write_time(root_ / "U-20210101000000" / "Status.plist", now - std::chrono::hours(24));
  fs::create_directories(root_ / "U-new");
  std::string earlier = SeedFromEarlierBackup(root_.string(), "U", (root_ / "U-new").string() + "/", false);
  EXPECT_EQ(earlier, (root_ / "U-20210101000000").string());
  struct stat linked {}, original {};
  ASSERT_EQ(::stat((root_ / "U-new" / "ab" / "abcdef").c_str(), &linked), 0);
  ASSERT_EQ(::stat((root_ / "U-20210101000000" / "ab" / "abcdef").c_str(), &original), 0);
  EXPECT_EQ(linked.st_ino, original.st_ino);

  fs::create_directories(root_ / "V-new");
  EXPECT_EQ(SeedFromEarlierBackup(root_.string(), "V", (root_ / "V-new").string(), false), "");
  EXPECT_TRUE(fs::is_empty(root_ / "V-new"));
  // A backup that turns encryption on starts empty: nothing of the unencrypted backups may stay beside it.
  fs::create_directories(root_ / "U-encrypted");
  EXPECT_EQ(SeedFromEarlierBackup(root_.string(), "U", (root_ / "U-encrypted").string(), true), "");
  EXPECT_TRUE(fs::is_empty(root_ / "U-encrypted"));
}

}  // namespace
