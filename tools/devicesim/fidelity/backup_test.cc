// Debian's unmodified idevicebackup2 against the simulator's backup service: full and incremental backups,
// info and list, restore into a second device, encryption on and off, and the failures a real device shows.
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "fidelity_fixture.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

constexpr char kPhone[] = "00008110-000A1B2C3D4E501E";
constexpr char kSpare[] = "00008030-001122334455602E";
constexpr char kBackupChannel[] = "com.apple.mobilebackup2";
constexpr int kToolTimeoutMs = 30000;

// Domain -> relative path -> content: what the phone's backup source holds.
using SourceFiles = std::map<std::string, std::map<std::string, std::string>>;

SourceFiles PhoneSource() {
  return {
      {"HomeDomain",
       {{"Library/SMS/sms.db", "sms database bytes"},
        {"Library/AddressBook/AddressBook.sqlitedb", std::string(70000, 'c')},
        {"Library/Notes/notes.sqlite", "notes"}}},
      {"MediaDomain", {{"Library/Recordings/20230102 101500.m4a", std::string(40000, '\x01')}}},
      {"AppDomainGroup-group.net.whatsapp.WhatsApp.shared", {{"ChatStorage.sqlite", "chats"}}},
  };
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// fileID -> (domain, relativePath) of the Files table of a Manifest.db (files only).
std::map<std::string, std::pair<std::string, std::string>> ManifestFiles(const std::string& path) {
  std::map<std::string, std::pair<std::string, std::string>> files;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT fileID, domain, relativePath FROM Files WHERE flags = 1", -1, &select, nullptr);
    while (select && sqlite3_step(select) == SQLITE_ROW) {
      auto text = [&](int column) { return std::string(reinterpret_cast<const char*>(sqlite3_column_text(select, column))); };
      files[text(0)] = {text(1), text(2)};
    }
    sqlite3_finalize(select);
  }
  sqlite3_close(db);
  return files;
}

class BackupTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    backup_dir_ = dir_ + "/backups";
    fs::create_directories(backup_dir_);
  }

  void AddPhone(const BackupFault& fault = {}) {
    ProfileBuilder phone(kPhone);
    for (const auto& [domain, files] : PhoneSource()) {
      for (const auto& [path, content] : files) phone.AddBackupFile(domain, path, content);
    }
    phone.SetBackupFault(fault);
    AddDevice("phone", phone);
  }

  std::string Stored(const std::string& file_id) const {
    return backup_dir_ + "/" + kPhone + "/" + file_id.substr(0, 2) + "/" + file_id;
  }

  ToolResult Backup(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> argv = {"idevicebackup2", "-u", kPhone, "backup"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(backup_dir_);
    return RunTool(argv, kToolTimeoutMs);
  }

  size_t Finished(const std::string& kind, const std::string& uploaded) {
    size_t matching = 0;
    for (const Request& request : sim_.Log().Find({.channel = kBackupChannel, .name = "BackupFinished"})) {
      if (request.Arg("Kind") == kind && request.Arg("Uploaded") == uploaded) ++matching;
    }
    return matching;
  }

  std::string backup_dir_;
};

TEST_F(BackupTest, FullBackupStoresEverySourceFileUnderItsDigestAndListsItInManifestDb) {
  AddPhone();
  ToolResult run = Backup({"--full"});
  ASSERT_FALSE(run.timed_out) << run.output;
  EXPECT_NE(run.output.find("Backup Successful."), std::string::npos) << run.output;
  EXPECT_EQ(run.exit_code, 0);

  auto listed = ManifestFiles(backup_dir_ + "/" + kPhone + "/Manifest.db");
  size_t expected = 0;
  for (const auto& [domain, files] : PhoneSource()) {
    for (const auto& [path, content] : files) {
      ++expected;
      // The names are fixed by the backup format; the messages database is the one other programs look for.
      std::string file_id;
      for (const auto& [id, where] : listed) {
        if (where == std::make_pair(domain, path)) file_id = id;
      }
      ASSERT_FALSE(file_id.empty()) << domain << "-" << path;
      EXPECT_EQ(ReadFile(Stored(file_id)), content) << domain << "-" << path;
    }
  }
  EXPECT_EQ(listed.size(), expected);
  EXPECT_EQ(listed.count("3d0d7e5fb2ce288813306e4d4636395e047a3d28"), 1u);
  EXPECT_EQ(listed.count("7c7fba66680ef796b916b067077cc246adacf01d"), 1u);
  EXPECT_FALSE(fs::exists(backup_dir_ + "/" + kPhone + "/Snapshot"));
  EXPECT_EQ(Finished("full", std::to_string(expected)), 1u);
}

TEST_F(BackupTest, SecondBackupIsIncrementalAndMovesOnlyWhatChanged) {
  AddPhone();
  ASSERT_NE(Backup({"--full"}).output.find("Backup Successful."), std::string::npos);
  std::string unchanged = Stored("3d0d7e5fb2ce288813306e4d4636395e047a3d28");
  struct stat before;
  ASSERT_EQ(::stat(unchanged.c_str(), &before), 0);

  std::string source = ProfileDir("phone") + "/backup/";
  {
    std::ofstream(source + "HomeDomain/Library/Notes/notes.sqlite", std::ios::trunc) << "notes, edited";
    std::ofstream(source + "HomeDomain/Library/Notes/NewNote.txt") << "brand new";
  }
  fs::remove(source + "AppDomainGroup-group.net.whatsapp.WhatsApp.shared/ChatStorage.sqlite");

  ToolResult run = Backup();
  EXPECT_NE(run.output.find("Incremental backup mode."), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Backup Successful."), std::string::npos) << run.output;
  EXPECT_EQ(Finished("incremental", "2"), 1u);
  EXPECT_EQ(ReadFile(Stored("ca3bc056d4da0bbf88b5fb3be254f3b7147e639c")), "notes, edited");
  EXPECT_FALSE(fs::exists(Stored("7c7fba66680ef796b916b067077cc246adacf01d")));
  struct stat after;
  ASSERT_EQ(::stat(unchanged.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // never sent again
  EXPECT_EQ(ManifestFiles(backup_dir_ + "/" + kPhone + "/Manifest.db").size(), 5u);  // one added, one gone
}

TEST_F(BackupTest, InfoAndListReadTheComputersBackup) {
  AddPhone();
  ASSERT_NE(Backup({"--full"}).output.find("Backup Successful."), std::string::npos);
  ToolResult info = RunTool({"idevicebackup2", "-u", kPhone, "info", backup_dir_}, kToolTimeoutMs);
  EXPECT_EQ(info.exit_code, 0) << info.output;
  EXPECT_NE(info.output.find(std::string("Target Identifier: ") + kPhone), std::string::npos) << info.output;
  ToolResult list = RunTool({"idevicebackup2", "-u", kPhone, "list", backup_dir_}, kToolTimeoutMs);
  EXPECT_EQ(list.exit_code, 0) << list.output;
  EXPECT_NE(list.output.find("HomeDomain,Library/SMS/sms.db,3d0d7e5fb2ce288813306e4d4636395e047a3d28,18"),
            std::string::npos)
      << list.output;
}

TEST_F(BackupTest, RestoreIntoASecondDeviceLeavesTheSameFilesInItsRestoredState) {
  AddPhone();
  AddDevice("spare", ProfileBuilder(kSpare));
  ASSERT_NE(Backup({"--full"}).output.find("Backup Successful."), std::string::npos);
  ToolResult run = RunTool({"idevicebackup2", "-u", kSpare, "-s", kPhone, "restore", "--system", "--skip-apps",
                            "--no-reboot", backup_dir_},
                           kToolTimeoutMs);
  EXPECT_NE(run.output.find("Restore Successful."), std::string::npos) << run.output;
  for (const auto& [domain, files] : PhoneSource()) {
    for (const auto& [path, content] : files) {
      EXPECT_EQ(ReadFile(ProfileDir("spare") + "/restored/" + domain + "/" + path), content) << path;
    }
  }
}

TEST_F(BackupTest, EncryptionSwitchesWillEncryptAndAnEncryptedRestoreNeedsThePassword) {
  AddPhone();
  auto will_encrypt = [&] {
    Value value;
    std::string error;
    return sim_.GetValue("phone", "com.apple.mobile.backup", "WillEncrypt", &value, &error) && value.flag();
  };
  ToolResult on = RunTool({"idevicebackup2", "-u", kPhone, "encryption", "on", "s3cret"}, kToolTimeoutMs);
  EXPECT_NE(on.output.find("enabled successfully"), std::string::npos) << on.output;
  EXPECT_TRUE(will_encrypt());

  ToolResult backup = Backup({"--full"});
  EXPECT_NE(backup.output.find("Backup will be encrypted."), std::string::npos) << backup.output;
  ToolResult wrong = RunTool({"idevicebackup2", "-u", kPhone, "restore", "--system", "--skip-apps", "--no-reboot",
                              "--password", "guess", backup_dir_},
                             kToolTimeoutMs);
  EXPECT_NE(wrong.output.find("ErrorCode 207"), std::string::npos) << wrong.output;
  EXPECT_FALSE(fs::exists(ProfileDir("phone") + "/restored/HomeDomain"));
  ToolResult right = RunTool({"idevicebackup2", "-u", kPhone, "restore", "--system", "--skip-apps", "--no-reboot",
                              "--password", "s3cret", backup_dir_},
                             kToolTimeoutMs);
  EXPECT_NE(right.output.find("Restore Successful."), std::string::npos) << right.output;

  ToolResult refused = RunTool({"idevicebackup2", "-u", kPhone, "encryption", "off", "guess"}, kToolTimeoutMs);
  EXPECT_NE(refused.output.find("Could not disable"), std::string::npos) << refused.output;
  EXPECT_TRUE(will_encrypt());
  ToolResult off = RunTool({"idevicebackup2", "-u", kPhone, "encryption", "off", "s3cret"}, kToolTimeoutMs);
  EXPECT_NE(off.output.find("disabled successfully"), std::string::npos) << off.output;
  EXPECT_FALSE(will_encrypt());
}

TEST_F(BackupTest, ALockedDeviceAndAFullDiskAreReportedAsTheDeviceReportsThem) {
  AddPhone({.kind = BackupFaultKind::kDeviceLocked});
  ToolResult locked = Backup();
  EXPECT_NE(locked.output.find("ErrorCode 208"), std::string::npos) << locked.output;
  EXPECT_EQ(locked.output.find("Backup Successful."), std::string::npos);

  std::string error;
  ASSERT_TRUE(sim_.SetBackupFault("phone", {.kind = BackupFaultKind::kDiskFull}, &error)) << error;
  ToolResult full = Backup();
  EXPECT_NE(full.output.find("ErrorCode 105"), std::string::npos) << full.output;
  EXPECT_EQ(full.output.find("Backup Successful."), std::string::npos);
}

TEST_F(BackupTest, ADisconnectMidBackupMakesTheClientFailNotHang) {
  AddPhone({.kind = BackupFaultKind::kDisconnect, .after_files = 2});
  ToolResult run = Backup({"--full"});
  EXPECT_FALSE(run.timed_out) << run.output;
  EXPECT_EQ(run.output.find("Backup Successful."), std::string::npos) << run.output;
  EXPECT_EQ(Count({.channel = kBackupChannel, .name = "Fault", .arg_key = "Kind", .arg_value = "disconnect"}), 1u);
}

TEST_F(BackupTest, DevicesBeforeIos10StoreFilesFlatWithAManifestMbdb) {
  ProfileBuilder old(kPhone);
  old.SetProductVersion("9.3.5").AddBackupFile("HomeDomain", "Library/SMS/sms.db", "old messages");
  AddDevice("old", old);
  ToolResult run = Backup({"--full"});
  EXPECT_NE(run.output.find("Backup Successful."), std::string::npos) << run.output;
  std::string folder = backup_dir_ + "/" + kPhone;
  EXPECT_EQ(ReadFile(folder + "/3d0d7e5fb2ce288813306e4d4636395e047a3d28"), "old messages");
  EXPECT_EQ(ReadFile(folder + "/Manifest.mbdb").substr(0, 4), "mbdb");
  EXPECT_FALSE(fs::exists(folder + "/Manifest.db"));
}

TEST_F(BackupTest, TheReadyIphoneBacksUpItsRealDatabasesUnderTheNamesOtherProgramsLookFor) {
  fs::copy(std::string(CORVANE_SOURCE_DIR) + "/tools/devicesim/profiles/iphone-current", ProfileDir("ready"),
           fs::copy_options::recursive);
  std::string error;
  ASSERT_TRUE(sim_.AddProfile(ProfileDir("ready"), true, &error)) << error;
  constexpr char kReady[] = "00008110-001A2D3C0E38801E";
  ToolResult run = RunTool({"idevicebackup2", "-u", kReady, "backup", "--full", backup_dir_}, kToolTimeoutMs);
  ASSERT_NE(run.output.find("Backup Successful."), std::string::npos) << run.output;
  auto listed = ManifestFiles(backup_dir_ + "/" + kReady + "/Manifest.db");
  for (const char* file_id : {"3d0d7e5fb2ce288813306e4d4636395e047a3d28", "31bb7ba8914766d4ba40d6dfb6113c8b614be442",
                              "ca3bc056d4da0bbf88b5fb3be254f3b7147e639c", "4f98687d8ab0d6d1a371110e6b7300f6e465bef2",
                              "f0ab5dad305d769185aae95463f895e4294f961d", "2879acab4b02bb19c218971593be87d2e97f8887",
                              "b39e461eaa52a8cc6117e343be5f7abc6bd9fca4", "7c7fba66680ef796b916b067077cc246adacf01d"}) {
    ASSERT_EQ(listed.count(file_id), 1u) << file_id;
    std::string stored = backup_dir_ + "/" + kReady + "/" + std::string(file_id).substr(0, 2) + "/" + file_id;
    const auto& [domain, path] = listed[file_id];
    EXPECT_EQ(ReadFile(stored), ReadFile(ProfileDir("ready") + "/backup/" + domain + "/" + path)) << path;
  }
}

}  // namespace
}  // namespace devicesim
