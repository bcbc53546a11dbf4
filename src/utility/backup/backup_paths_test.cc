// Device paths of the backup service on the computer: the identifier replaced by the backup's folder name, and
// every path that would leave the backup folder refused.
#include "utility/backup/backup_paths.h"

#include <gtest/gtest.h>

namespace {

constexpr char kUdid[] = "00008030-001A2B3C4D5E602E";

TEST(BackupPathMap, TheIdentifierBecomesTheFolderWithItsTimeSuffix) {
  BackupPathMap paths("/backups", kUdid, std::string(kUdid) + "-20261208131500");
  std::string local;
  ASSERT_TRUE(paths.Map(std::string(kUdid) + "/Snapshot/ab/abcdef", &local));
  EXPECT_EQ(local, "/backups/00008030-001A2B3C4D5E602E-20261208131500/Snapshot/ab/abcdef");
  ASSERT_TRUE(paths.Map(kUdid, &local));
  EXPECT_EQ(local, "/backups/00008030-001A2B3C4D5E602E-20261208131500");
  ASSERT_TRUE(paths.Map(std::string(kUdid) + "//Status.plist/", &local));
  EXPECT_EQ(local, "/backups/00008030-001A2B3C4D5E602E-20261208131500/Status.plist");
  EXPECT_EQ(paths.folder(), "/backups/00008030-001A2B3C4D5E602E-20261208131500/");
}

TEST(BackupPathMap, PathsThatLeaveTheFolderAreRefused) {
  BackupPathMap paths("/backups/", kUdid, kUdid);
  std::string local = "untouched";
  const std::string udid = kUdid;
  for (const std::string& hostile :
       std::vector<std::string>{udid + "/../../etc/passwd", udid + "/Snapshot/../../x", udid + "/..", "/etc/passwd",
        "../" + udid + "/x",
        udid + "\\..\\x", udid + "/a\\b", udid + "/./x", udid + std::string("/a\0b", 4), udid + "x/Status.plist",
        std::string("Status.plist"), std::string(), udid + "/" + std::string(5000, 'a')}) {
    EXPECT_FALSE(paths.Map(hostile, &local)) << hostile.substr(0, 80);
  }
  EXPECT_EQ(local, "untouched");
}

TEST(BackupPathMap, AnIdentifierElsewhereInThePathIsNotReplaced) {
  BackupPathMap paths("/b", kUdid, "work");
  std::string local;
  ASSERT_TRUE(paths.Map(std::string(kUdid) + "/" + kUdid, &local));
  EXPECT_EQ(local, std::string("/b/work/") + kUdid);
}

}  // namespace
