// 1601 and the cross-checks with a client no one here wrote: Corvane restores its own backup and one Debian's
// idevicebackup2 made, idevicebackup2 restores Corvane's, and an encrypted backup (its password set through 1605)
// needs the right password; erase-all (1700) ends with the same restore. Restored files are compared with the
// source device's backup source.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <zlib.h>

#include "app/tool_runner.h"
#include "backup/backup_scenario.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kPhone[] = "00008030-001A2B3C4D5E602E";
constexpr char kSpare[] = "00008110-000A1B2C3D4E501E";
constexpr int kToolTimeoutMs = 60000;

devicesim::ProfileBuilder Phone() {
  devicesim::ProfileBuilder phone(kPhone);
  phone.SetProductVersion("16.4.1");
  phone.AddBackupFile("HomeDomain", "Library/SMS/sms.db", "sms database bytes");
  phone.AddBackupFile("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", std::string(70000, 'c'));
  phone.AddBackupFile("HomeDomain", "Library/Preferences/empty.plist", "");
  phone.AddBackupGeneratedFile("MediaDomain", "Media/Recordings/one.m4a", 3 * 1024 * 1024 + 11, 3);
  phone.AddBackupTree("AppDomain-com.example.tidepool", "Documents/many", 120, 900, 4);
  return phone;
}

std::string Deflated(const std::string& text) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()), text.size());
  out.resize(size);
  return out;
}

std::string RestoreJson(const std::string& target, const std::string& root, const std::string& source,
                        const std::string& password) {
  return std::string(R"({"uuid":")") + target + R"(","path":")" + root + R"(","sourceDeviceId":")" + source +
         R"(","password":")" + password + R"("})";
}

class RestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = corvane_.temp_dir() + "/backups";
    fs::create_directories(root_);
  }
  void Start() {
    ASSERT_TRUE(corvane_.AddDevice("phone", Phone()));
    ASSERT_TRUE(corvane_.AddDevice("spare", devicesim::ProfileBuilder(kSpare).SetProductVersion("16.4.1")));
    ASSERT_TRUE(corvane_.StartWithDevices());
    ASSERT_TRUE(corvane_.WaitForDeviceReady(kPhone));
    ASSERT_TRUE(corvane_.WaitForDeviceReady(kSpare));
  }
  std::vector<std::pair<std::string, std::string>> ToolEnv() {
    return {{"USBMUXD_SOCKET_ADDRESS", "UNIX:" + corvane_.temp_dir() + "/usbmuxd.sock"}};
  }
  // The files the device holds after a restore that the phone's backup source does not match: one line each.
  std::vector<std::string> RestoredDifferences(const std::string& device) {
    std::vector<std::string> differences;
    std::string source = corvane_.ProfileFolder("phone") + "/backup";
    std::string restored = corvane_.ProfileFolder(device) + "/restored";
    for (const auto& entry : fs::recursive_directory_iterator(source)) {
      if (!entry.is_regular_file()) continue;
      std::string relative = fs::relative(entry.path(), source).string();
      if (ReadWholeFile(restored + "/" + relative) != ReadWholeFile(entry.path().string()) ||
          !fs::exists(restored + "/" + relative)) {
        differences.push_back(relative);
      }
    }
    return differences;
  }
  std::string CorvaneBackup(uint64_t task) {
    BackupRun run = RunBackupCommand(corvane_, task, 1600, std::string(R"({"uuid":")") + kPhone +
                                                               R"(","path":")" + root_ + R"("})");
    EXPECT_TRUE(run.final && run.final->code == 0) << run.error;
    return run.backup_dir;
  }

  DeviceHarness corvane_;
  std::string root_;
};

TEST_F(RestoreTest, CorvaneRestoresItsOwnBackupIntoASecondDevice) {
  Start();
  std::string folder = CorvaneBackup(200);
  std::string name = fs::path(folder).parent_path().filename().string();
  BackupRun restore = RunBackupCommand(corvane_, 201, 1601, RestoreJson(kSpare, root_, name, ""));
  ASSERT_TRUE(restore.final);
  EXPECT_EQ(restore.final->code, 0) << restore.error;
  EXPECT_EQ(RestoredDifferences("spare"), std::vector<std::string>());
  ASSERT_FALSE(restore.steps.empty());
  for (size_t i = 1; i < restore.steps.size(); ++i) EXPECT_GT(restore.steps[i], restore.steps[i - 1]);
  devicesim::RequestFilter finished{.channel = "com.apple.mobilebackup2", .name = "RestoreFinished"};
  auto runs = corvane_.simulator().Log().Find(finished);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Arg("Missing"), "0");
  EXPECT_EQ(runs[0].Arg("Refused"), "0");
}

// The host may name the backup by the device it came from (the listing's "Unique Identifier"): the newest one.
TEST_F(RestoreTest, ADeviceIdentifierRestoresThatDevicesNewestBackup) {
  Start();
  CorvaneBackup(205);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  std::ofstream(corvane_.ProfileFolder("phone") + "/backup/HomeDomain/Library/SMS/sms.db", std::ios::trunc)
      << "messages of the second backup";
  CorvaneBackup(206);
  BackupRun restore = RunBackupCommand(corvane_, 207, 1601, RestoreJson(kSpare, root_, kPhone, ""));
  ASSERT_TRUE(restore.final);
  EXPECT_EQ(restore.final->code, 0) << restore.error;
  EXPECT_EQ(RestoredDifferences("spare"), std::vector<std::string>());
  EXPECT_EQ(ReadWholeFile(corvane_.ProfileFolder("spare") + "/restored/HomeDomain/Library/SMS/sms.db"),
            "messages of the second backup");
}

TEST_F(RestoreTest, CorvaneRestoresABackupIdevicebackup2Made) {
  Start();
  std::string tool_root = corvane_.temp_dir() + "/tool-backups";
  fs::create_directories(tool_root);
  ToolRun backup = RunToolWithDeadline({"idevicebackup2", "-u", kPhone, "backup", "--full", tool_root}, ToolEnv(),
                                       kToolTimeoutMs);
  ASSERT_NE(backup.output.find("Backup Successful."), std::string::npos) << backup.output;
  BackupRun restore = RunBackupCommand(corvane_, 210, 1601, RestoreJson(kSpare, tool_root, kPhone, ""));
  ASSERT_TRUE(restore.final);
  EXPECT_EQ(restore.final->code, 0) << restore.error;
  EXPECT_EQ(RestoredDifferences("spare"), std::vector<std::string>());
}

TEST_F(RestoreTest, Idevicebackup2RestoresCorvanesBackup) {
  Start();
  std::string folder = CorvaneBackup(220);
  // The tool expects <dir>/<source udid>/.
  std::string tool_root = corvane_.temp_dir() + "/for-the-tool";
  fs::create_directories(tool_root);
  fs::copy(folder, tool_root + "/" + kPhone, fs::copy_options::recursive);
  ToolRun restore = RunToolWithDeadline({"idevicebackup2", "-u", kSpare, "-s", kPhone, "restore", "--system",
                                         "--skip-apps", "--no-reboot", tool_root},
                                        ToolEnv(), kToolTimeoutMs);
  EXPECT_NE(restore.output.find("Restore Successful."), std::string::npos) << restore.output;
  EXPECT_EQ(RestoredDifferences("spare"), std::vector<std::string>());
}

TEST_F(RestoreTest, AnEncryptedBackupNeedsThePasswordSetThrough1605) {
  // The password tool's stand-in sets the password the way the real one does: through the backup service.
  std::string tool = corvane_.temp_dir() + "/password-tool.sh";
  std::ofstream(tool) << "#!/bin/sh\n# --change PASSWORD --target UDID\n"
                         "exec idevicebackup2 -u \"$4\" encryption on \"$2\" >\"$0.log\" 2>&1\n";
  fs::permissions(tool, fs::perms::owner_all);
  corvane_.options().env.push_back({"CORVANE_BACKUP_PASSWORD_TOOL", tool});
  corvane_.options().env.push_back({"CORVANE_ELEVATE", "none"});
  Start();
  std::string phone = std::string(R"({"uuid":")") + kPhone + "\"";
  auto before = corvane_.Run(230, 1604, phone + "}");
  ASSERT_TRUE(before);
  EXPECT_EQ(before->code, 1);
  auto set = corvane_.Run(231, 1605, phone + R"(,"password":"s3 cret"})", {}, std::chrono::seconds(60));
  ASSERT_TRUE(set);
  EXPECT_EQ(set->code, 0) << set->info << ReadWholeFile(tool + ".log");
  auto after = corvane_.Run(232, 1604, phone + "}");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->code, 0);

  std::string folder = CorvaneBackup(233);
  std::string name = fs::path(folder).parent_path().filename().string();
  BackupRun wrong = RunBackupCommand(corvane_, 234, 1601, RestoreJson(kSpare, root_, name, "guess"));
  ASSERT_TRUE(wrong.final);
  EXPECT_EQ(wrong.final->code, 207);
  EXPECT_FALSE(wrong.error.empty());
  EXPECT_FALSE(fs::exists(corvane_.ProfileFolder("spare") + "/restored/HomeDomain"));
  BackupRun right = RunBackupCommand(corvane_, 235, 1601, RestoreJson(kSpare, root_, name, "s3 cret"));
  ASSERT_TRUE(right.final);
  EXPECT_EQ(right.final->code, 0) << right.error;
  EXPECT_EQ(RestoredDifferences("spare"), std::vector<std::string>());
}

TEST_F(RestoreTest, UnreadableParametersAndAMissingManifestEndTheRestoreBeforeTheDeviceIsAsked) {
  Start();
  fs::create_directories(root_ + "/empty-backup");
  struct Case {
    std::string json;
    int64_t code;
    const char* error;
  } cases[] = {
      {std::string(R"({"uuid":")") + kSpare + R"(","path":")" + root_ + R"("})", 8, "ParameterError"},
      {RestoreJson(kSpare, root_, "../backups", ""), 8, "ParameterError"},
      {RestoreJson(kSpare, root_, "empty-backup", ""), 13, "BackupManifestPlistError"},
      {RestoreJson(kSpare, root_, "not-there", ""), 13, "BackupManifestPlistError"},
  };
  uint64_t task = 240;
  for (const Case& c : cases) {
    BackupRun run = RunBackupCommand(corvane_, task++, 1601, c.json);
    ASSERT_TRUE(run.final);
    EXPECT_EQ(run.final->code, c.code) << c.json;
    EXPECT_EQ(run.error, c.error) << c.json;
  }
  devicesim::RequestFilter restores{.channel = "com.apple.mobilebackup2", .name = "Restore"};
  EXPECT_EQ(corvane_.simulator().Log().Count(restores), 0u);
}

// Erase-all empties the media folders and hands its parameter block to the backup module's restore, whose code and
// text become its result: the device ends up holding the backup.
TEST_F(RestoreTest, EraseAllEndsWithTheRestoreOfTheNamedBackup) {
  Start();
  std::string folder = CorvaneBackup(220);
  std::string name = fs::path(folder).parent_path().filename().string();
  std::string parameters = std::string(R"({"path":")") + root_ + R"(","sourceDeviceId":")" + name +
                           R"(","password":""})";
  ASSERT_TRUE(corvane_.host().SendCommand(221, 1700, std::string(R"({"uuid":")") + kSpare + "\"}",
                                          Deflated(parameters)));
  auto final = corvane_.host().WaitFor(hostlink::FinalOf(221, 1700), std::chrono::seconds(120));
  ASSERT_TRUE(final);
  EXPECT_EQ(final->code, 0) << final->info;
  EXPECT_EQ(RestoredDifferences("spare"), std::vector<std::string>());
}

}  // namespace
}  // namespace e2e
