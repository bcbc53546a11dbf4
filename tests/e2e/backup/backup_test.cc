// 1600 against the simulated device: full backups of the ready profile and of built ones checked file by file
// against the device's backup source, the reports the host sees, Info.plist, incremental backups, and every way a
// backup fails leaving no folder behind.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "backup/backup_scenario.h"
#include "iOSAPI/plist_message.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kUdid[] = "00008030-001A2B3C4D5E602E";

std::string BackupJson(const std::string& udid, const std::string& root) {
  return std::string(R"({"uuid":")") + udid + R"(","path":")" + root + R"("})";
}

devicesim::ProfileBuilder BuiltPhone(const devicesim::BackupFault& fault = {}) {
  devicesim::ProfileBuilder phone(kUdid);
  phone.SetProductVersion("16.4.1");
  phone.AddBackupFile("HomeDomain", "Library/SMS/sms.db", "sms database bytes");
  phone.AddBackupFile("HomeDomain", "Library/Notes/notes.sqlite", "notes");
  phone.AddBackupFile("HomeDomain", "Library/Preferences/empty.plist", "");
  phone.AddBackupGeneratedFile("MediaDomain", "Media/DCIM/100APPLE/IMG_0001.MOV", 9 * 1024 * 1024 + 7, 5);
  phone.AddBackupSparseFile("CameraRollDomain", "Media/big.sparse", 48ull * 1024 * 1024);
  phone.AddBackupTree("AppDomain-com.example.tidepool", "Documents/many", 300, 1500, 9);
  phone.SetBackupFault(fault);
  return phone;
}

PlistValue ReadPlistFile(const std::string& path) {
  std::string bytes = ReadWholeFile(path);
  PlistValue value;
  EXPECT_TRUE(ParseMessage(bytes.data(), bytes.size(), &value)) << path;
  return value;
}

class BackupCommandTest : public ::testing::Test {
 protected:
  void StartWith(const std::string& name, const devicesim::ProfileBuilder& phone, const std::string& udid) {
    ASSERT_TRUE(corvane_.AddDevice(name, phone));
    Start(udid);
  }
  void Start(const std::string& udid) {
    ASSERT_TRUE(corvane_.StartWithDevices());
    ASSERT_TRUE(corvane_.WaitForDeviceReady(udid));
    root_ = corvane_.temp_dir() + "/backups";
  }
  DeviceHarness corvane_;
  std::string root_;
};

TEST_F(BackupCommandTest, TheReadyProfileIsBackedUpWholeWithItsReportsAndInfoPlist) {
  std::string profile = corvane_.ProfileFolder("iphone-current");
  fs::create_directories(profile);
  fs::copy(CORVANE_SOURCE_DIR "/tools/devicesim/profiles/iphone-current", profile, fs::copy_options::recursive);
  std::string error;
  ASSERT_TRUE(corvane_.simulator().AddProfile(profile, true, &error)) << error;
  Start(kReadyUdid);

  BackupRun run = RunBackupCommand(corvane_, 100, 1600, BackupJson(kReadyUdid, root_));
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, 0) << run.error;
  EXPECT_EQ(run.final->header_code, 1);
  EXPECT_EQ(run.error, "");

  // The folder is announced first, before any progress, and is the one the backup fills.
  ASSERT_FALSE(run.reports.empty());
  EXPECT_EQ(run.reports.front().stage, 0);
  ASSERT_EQ(FoldersUnder(root_).size(), 1u);
  EXPECT_EQ(run.backup_dir, FoldersUnder(root_)[0] + "/");
  EXPECT_EQ(fs::path(FoldersUnder(root_)[0]).filename().string().substr(0, 26), std::string(kReadyUdid) + "-");
  EXPECT_EQ(fs::path(FoldersUnder(root_)[0]).filename().string().size(), 25u + 15u);

  // Progress grows strictly, ends at 10,000 and names the device.
  ASSERT_FALSE(run.steps.empty());
  for (size_t i = 1; i < run.steps.size(); ++i) EXPECT_GT(run.steps[i], run.steps[i - 1]);
  EXPECT_EQ(run.steps.back(), 10000);
  for (const hostlink::Report& report : run.reports) {
    if (report.stage == 1) {
      EXPECT_EQ(report.uuid, kReadyUdid);
    }
  }

  EXPECT_EQ(CompareWithSource(run.backup_dir, profile), std::vector<std::string>());
  EXPECT_FALSE(fs::exists(run.backup_dir + "Snapshot"));
  for (const char* name : {"Status.plist", "Manifest.plist", "Manifest.db", "Info.plist"}) {
    EXPECT_TRUE(fs::exists(run.backup_dir + name)) << name;
  }

  PlistValue info = ReadPlistFile(run.backup_dir + "Info.plist");
  EXPECT_EQ(info.FindString("Unique Identifier"), kReadyUdid);
  EXPECT_EQ(info.FindString("Target Identifier"), kReadyUdid);
  EXPECT_EQ(info.FindString("Device Name"), "Demo iPhone");
  EXPECT_EQ(info.FindString("Display Name"), "Demo iPhone");
  EXPECT_EQ(info.FindString("Target Type"), "Device");
  EXPECT_EQ(info.FindString("iTunes Version"), "11.2.2.3");
  EXPECT_EQ(info.FindString("Product Version"), "16.4.1");
  ASSERT_TRUE(info.FindString("GUID"));
  EXPECT_EQ(info.FindString("GUID")->find_first_not_of("ABCDEF0123456789"), std::string::npos);
  EXPECT_EQ(info.FindString("GUID")->size(), 32u);
  ASSERT_NE(info.Find("Last Backup Date"), nullptr);
  EXPECT_TRUE(info.Find("Last Backup Date")->IsDate());
  ASSERT_NE(info.FindDict("Applications"), nullptr);
  const PlistValue* tidepool = info.FindDict("Applications")->FindDict("com.example.tidepool");
  ASSERT_NE(tidepool, nullptr);
  ASSERT_NE(tidepool->Find("PlaceholderIcon"), nullptr);
  EXPECT_EQ(tidepool->Find("PlaceholderIcon")->Bytes().substr(1, 3), "PNG");
  ASSERT_NE(info.FindArray("Installed Applications"), nullptr);
  EXPECT_EQ(info.FindArray("Installed Applications")->array().size(), 3u);  // the user applications
  EXPECT_NE(info.FindDict("iTunes Files"), nullptr);
  EXPECT_NE(info.FindDict("iTunes Settings"), nullptr);
}

TEST_F(BackupCommandTest, ABuiltProfileIsStoredFileForFileAndASecondBackupIsIncremental) {
  StartWith("phone", BuiltPhone(), kUdid);
  std::string profile = corvane_.ProfileFolder("phone");
  BackupRun first = RunBackupCommand(corvane_, 110, 1600, BackupJson(kUdid, root_));
  ASSERT_TRUE(first.final);
  ASSERT_EQ(first.final->code, 0) << first.error;
  EXPECT_EQ(CompareWithSource(first.backup_dir, profile), std::vector<std::string>());

  // Change one file, add one and remove one on the device; wait a second so the new folder gets its own name.
  std::string source = profile + "/backup/";
  std::string notes_id = BackupFileId("HomeDomain", "Library/Notes/notes.sqlite");
  std::string sms_id = BackupFileId("HomeDomain", "Library/SMS/sms.db");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  std::ofstream(source + "HomeDomain/Library/Notes/notes.sqlite", std::ios::trunc) << "notes, edited later";
  std::ofstream(source + "HomeDomain/Library/Notes/new.txt") << "brand new";
  fs::remove(source + "HomeDomain/Library/SMS/sms.db");

  BackupRun second = RunBackupCommand(corvane_, 111, 1600, BackupJson(kUdid, root_));
  ASSERT_TRUE(second.final);
  ASSERT_EQ(second.final->code, 0) << second.error;
  ASSERT_NE(second.backup_dir, first.backup_dir);
  EXPECT_EQ(CompareWithSource(second.backup_dir, profile), std::vector<std::string>());
  EXPECT_FALSE(fs::exists(second.backup_dir + sms_id.substr(0, 2) + "/" + sms_id));
  // The device sent only what changed, and the first backup still holds what it held.
  devicesim::RequestFilter finished{.channel = "com.apple.mobilebackup2", .name = "BackupFinished"};
  auto runs = corvane_.simulator().Log().Find(finished);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1].Arg("Kind"), "incremental");
  EXPECT_EQ(runs[1].Arg("Uploaded"), "2");
  EXPECT_EQ(ReadWholeFile(first.backup_dir + notes_id.substr(0, 2) + "/" + notes_id), "notes");
  EXPECT_EQ(ReadWholeFile(first.backup_dir + sms_id.substr(0, 2) + "/" + sms_id), "sms database bytes");
}

TEST_F(BackupCommandTest, AnEmptyPathBacksUpIntoTheDefaultRoot) {
  std::string data_home = corvane_.temp_dir() + "/data-home";
  corvane_.options().env.push_back({"XDG_DATA_HOME", data_home});
  StartWith("phone", BuiltPhone(), kUdid);
  BackupRun run = RunBackupCommand(corvane_, 120, 1600, BackupJson(kUdid, ""));
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, 0) << run.error;
  std::string default_root = data_home + "/Apple Computer/MobileSync/Backup/";
  EXPECT_EQ(run.backup_dir.substr(0, default_root.size()), default_root);
  EXPECT_EQ(CompareWithSource(run.backup_dir, corvane_.ProfileFolder("phone")), std::vector<std::string>());
}

TEST_F(BackupCommandTest, AnUnknownDeviceGets7AndUnreadableJson8) {
  StartWith("phone", BuiltPhone(), kUdid);
  auto unknown = corvane_.Run(130, 1600, BackupJson("00008030-0000000000000000", root_));
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->code, 7);
  auto bad = corvane_.Run(131, 1600, "{\"uuid\":");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->code, 8);
  EXPECT_FALSE(fs::exists(root_));
}

// A device that falls silent in the middle of an upload is given up after the service's receive limit.
TEST_F(BackupCommandTest, ADeviceThatFallsSilentFailsTheBackupAfterTheReceiveLimit) {
  corvane_.options().env.push_back({"CORVANE_SERVICE_TIMEOUT_MS", "1500"});
  StartWith("phone", BuiltPhone({devicesim::BackupFaultKind::kStall, 20}), kUdid);
  BackupRun run = RunBackupCommand(corvane_, 135, 1600, BackupJson(kUdid, root_));
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, 45) << run.error;
  EXPECT_EQ(FoldersUnder(root_), std::vector<std::string>());
}

// A small file system mounted for the test (root only; skipped elsewhere), unmounted when it goes.
struct SmallFileSystem {
  explicit SmallFileSystem(const std::string& where, const char* size) : path(where) {
    fs::create_directories(path);
    mounted = ::mount("tmpfs", path.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted) ::umount2(path.c_str(), MNT_DETACH);
  }
  std::string path;
  bool mounted = false;
};

// The device believes the space is enough (it counts 1 KiB per file), the file system does not (a page per
// file): a write fails halfway, and the backup ends with the system's text and leaves nothing behind.
TEST_F(BackupCommandTest, AFullDiskFailsTheWriteAndRemovesTheFolder) {
  devicesim::ProfileBuilder phone(kUdid);
  phone.SetProductVersion("16.4.1").AddBackupTree("HomeDomain", "Library/Caches", 300, 1500, 2);
  StartWith("phone", phone, kUdid);
  SmallFileSystem small(corvane_.temp_dir() + "/small", "1m");
  if (!small.mounted) GTEST_SKIP() << "no small file system can be mounted here";
  BackupRun run = RunBackupCommand(corvane_, 137, 1600, BackupJson(kUdid, small.path));
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, 13) << run.error;
  EXPECT_NE(run.error.find("No space left on device"), std::string::npos) << run.error;
  EXPECT_EQ(FoldersUnder(small.path), std::vector<std::string>());
}

struct FaultCase {
  devicesim::BackupFaultKind kind;
  int after_files;
  int64_t code;
};

class BackupFaultTest : public BackupCommandTest, public ::testing::WithParamInterface<FaultCase> {};

// Every failure ends with its code and leaves no folder (and nothing outside the root) behind.
TEST_P(BackupFaultTest, TheBackupFailsWithItsCodeAndLeavesNoFolder) {
  devicesim::BackupFault fault{GetParam().kind, GetParam().after_files};
  StartWith("phone", BuiltPhone(fault), kUdid);
  BackupRun run = RunBackupCommand(corvane_, 140, 1600, BackupJson(kUdid, root_));
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, GetParam().code) << run.error;
  EXPECT_EQ(run.final->header_code, 6);
  EXPECT_FALSE(run.backup_dir.empty());
  EXPECT_FALSE(run.error.empty());
  EXPECT_EQ(FoldersUnder(root_), std::vector<std::string>());
  for (const auto& entry : fs::recursive_directory_iterator(corvane_.temp_dir())) {
    EXPECT_EQ(entry.path().filename().string().find("devicesim-escaped"), std::string::npos) << entry.path();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BackupFaultTest,
    ::testing::Values(FaultCase{devicesim::BackupFaultKind::kDeviceLocked, 0, 208},
                      FaultCase{devicesim::BackupFaultKind::kDiskFull, 0, 105},
                      // Half of the 305 files: the connection closes in the middle of a file.
                      FaultCase{devicesim::BackupFaultKind::kDisconnect, 150, 45},
                      FaultCase{devicesim::BackupFaultKind::kClimbingName, 3, 46},
                      FaultCase{devicesim::BackupFaultKind::kLongName, 3, 46},
                      FaultCase{devicesim::BackupFaultKind::kHugeFileSize, 3, 45}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
      return std::string(devicesim::BackupFaultKindName(info.param.kind));
    });

}  // namespace
}  // namespace e2e
