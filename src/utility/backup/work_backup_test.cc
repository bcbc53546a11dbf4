// The work backup the backup extraction runs, against the simulated device in this process: only the files the
// extraction wants are written, each is announced once it is complete, and the rest of the stream is dropped.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "support/device_layer_fixture.h"
#include "utility/backup/backup_runner.h"

namespace {

namespace fs = std::filesystem;

// SHA-1 of "HomeDomain-Library/SMS/sms.db", the name the messages database is stored under.
constexpr char kSmsId[] = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";

class WorkBackup : public DeviceLayerTest {};

TEST_F(WorkBackup, OnlyWantedFilesAreWrittenAndEachIsAnnouncedWhenComplete) {
  profile_.SetProductVersion("16.4.1");
  profile_.AddBackupFile("HomeDomain", "Library/SMS/sms.db", "the messages");
  profile_.AddBackupGeneratedFile("MediaDomain", "Media/big.mov", 5 * 1024 * 1024, 3);
  profile_.AddBackupTree("HomeDomain", "Library/Caches", 50, 100, 1);
  Attach();
  std::string work_root = dir_ + "/work/Backup0/";
  std::map<std::string, std::string> written;  // local path -> device name
  BackupSessionHooks hooks;
  hooks.upload.wanted = [](const std::string& local) {
    return local.ends_with(std::string("/") + kSmsId) || local.ends_with("/Manifest.db");
  };
  hooks.upload.written = [&](const std::string& device_name, const std::string& local) {
    EXPECT_EQ(written.count(local), 0u);
    std::ifstream in(local, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    EXPECT_FALSE(bytes.str().empty()) << local;  // whole when announced
    written[local] = device_name;
  };
  std::string folder;
  BackupResult result = RunWorkBackup(*record(), kUdid, work_root, hooks, &folder);
  EXPECT_EQ(result.code, 0) << result.text;
  EXPECT_EQ(folder.rfind(work_root + kUdid + "-", 0), 0u) << folder;
  EXPECT_FALSE(fs::exists(folder + "Info.plist"));

  // Files are announced where they were written: the device uploads into Snapshot/ and moves them afterwards.
  std::string sms = folder + "3d/" + kSmsId;
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written.count(folder + "Snapshot/3d/" + kSmsId), 1u);
  EXPECT_EQ(written.count(folder + "Manifest.db"), 1u);
  std::ifstream in(sms);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "the messages");
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) files += entry.is_regular_file();
  EXPECT_EQ(files, 2u);  // the dropped uploads left nothing, Status.plist and Manifest.plist included
}

TEST_F(WorkBackup, AStoppedTaskEndsWithTaskCancelled) {
  profile_.AddBackupFile("HomeDomain", "Library/SMS/sms.db", "the messages");
  Attach();
  BackupSessionHooks hooks;
  hooks.cancelled = [] { return true; };
  std::string folder;
  BackupResult result = RunWorkBackup(*record(), kUdid, dir_ + "/work/Backup0/", hooks, &folder);
  EXPECT_EQ(result.code, 6);
  EXPECT_EQ(result.text, "Task cancelled.");
}

}  // namespace
