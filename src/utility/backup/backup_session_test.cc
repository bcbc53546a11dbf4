// Backup and restore sessions against a scripted device: the handshake, every request kind with its reply,
// progress steps, the device's final word, and the ways a session fails.
#include "utility/backup/backup_session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "utility/backup/backup_test_stream.h"
#include "utility/protocol_codes.h"

namespace {

namespace fs = std::filesystem;
using backup_test::Framed;
using backup_test::Name;
using backup_test::U32;
using backup_test::UploadedFile;

constexpr char kUdid[] = "00008030-001A2B3C4D5E602E";
const std::string U = kUdid;

PlistValue S(const std::string& text) { return PlistValue::String(text); }
PlistValue R(double value) { return PlistValue::Real(value); }
PlistValue Msg(PlistValue::Array items) { return PlistValue::MakeArray(std::move(items)); }
PlistValue List(std::initializer_list<std::string> paths) {
  PlistValue::Array items;
  for (const std::string& path : paths) items.push_back(S(path));
  return PlistValue::MakeArray(std::move(items));
}
PlistValue Final(int64_t code, const std::string& text = "") {
  PlistValue::Dict body = {{"MessageName", S("Response")}, {"ErrorCode", PlistValue::Integer(code)}};
  if (!text.empty()) body["ErrorDescription"] = S(text);
  return Msg({S("DLMessageProcessMessage"), PlistValue::MakeDict(std::move(body))});
}

std::string Opening() {
  return Framed(Msg({S("DLMessageVersionExchange"), PlistValue::Integer(300), PlistValue::Integer(0)})) +
         Framed(Msg({S("DLMessageDeviceReady")})) +
         Framed(Msg({S("DLMessageProcessMessage"),
                     PlistValue::MakeDict({{"MessageName", S("Response")}, {"ErrorCode", PlistValue::Integer(0)}})}));
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class BackupSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(::testing::TempDir()) / ("session-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(Folder());
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path Folder() const { return root_ / "backups" / (U + "-20261208131500"); }
  BackupPathMap Paths() const { return BackupPathMap((root_ / "backups").string(), U, U + "-20261208131500"); }

  BackupResult RunBackup(const std::string& script, BackupSessionHooks hooks = {}) {
    hooks.progress = [this](int step) { steps_.push_back(step); };
    DeviceLink link(std::make_unique<backup_test::ScriptedChannel>(script, &sent_, &raw_sent_), 1000);
    BackupPathMap paths = Paths();
    return RunBackupSession(link, paths, hooks);
  }
  // The status replies the computer sent (after the version exchange and the two process messages).
  std::vector<PlistValue> Replies() const {
    std::vector<PlistValue> replies;
    for (const PlistValue& message : sent_) {
      if (message.array().front().Bytes() == "DLMessageStatusResponse") replies.push_back(message);
    }
    return replies;
  }

  fs::path root_;
  std::vector<PlistValue> sent_;
  std::string raw_sent_;
  std::vector<int> steps_;
};

TEST_F(BackupSessionTest, AFullBackupServesEveryRequestAndEndsAfterTheFinalResponse) {
  std::ofstream(Folder() / "a") << "older copy";
  std::string script =
      Opening() +
      Framed(Msg({S("DLMessageDownloadFiles"), List({U + "/Status.plist", U + "/Manifest.plist", U + "/Manifest.db"}),
                  PlistValue::MakeDict(), R(0)})) +
      Framed(Msg({S("DLMessageGetFreeDiskSpace")})) +
      Framed(Msg({S("DLMessageCreateDirectory"), S(U + "/Snapshot"), PlistValue::MakeDict(), R(1)})) +
      Framed(Msg({S("DLMessageUploadFiles"), PlistValue::MakeDict(), R(37.5), PlistValue::Integer(9)})) +
      UploadedFile(U + "/Snapshot/a", "new bytes") + Name("/var/empty") + Name(U + "/Snapshot/empty") + U32(1) +
      '\0' + U32(0) +
      Framed(Msg({S("DLMessageUploadFiles"), PlistValue::MakeDict(), R(37.5), PlistValue::Integer(0)})) + U32(0) +
      Framed(Msg({S("DLMessageMoveItems"),
                  PlistValue::MakeDict({{U + "/Snapshot/a", S(U + "/a")}, {U + "/Snapshot/empty", S(U + "/e/empty")}}),
                  PlistValue::MakeDict(), R(90)})) +
      Framed(Msg({S("DLMessageCopyItem"), S(U + "/a"), S(U + "/copy")})) +
      Framed(Msg({S("DLMessageRemoveItems"), List({U + "/Snapshot"}), PlistValue::MakeDict(), R(100)})) +
      Framed(Msg({S("DLMessagePurgeDiskSpace"), PlistValue::Integer(1000), PlistValue::Integer(1)})) +
      Framed(Final(0)) + Framed(Msg({S("DLMessageDisconnect"), S("bye")}));
  BackupSessionHooks hooks;
  hooks.free_bytes = [](const std::string& root) { return root.back() == '/' ? 123456789 : -1; };
  BackupResult result = RunBackup(script, hooks);
  EXPECT_EQ(result.code, 0) << result.text;

  // Every requested file got its answer: three names, three error blocks, the closing zero.
  std::string expected_stream;
  for (const char* name : {"/Status.plist", "/Manifest.plist", "/Manifest.db"}) {
    expected_stream += Name(U + name) + U32(26) + '\x06' + "No such file or directory";
  }
  EXPECT_EQ(raw_sent_, expected_stream + U32(0));
  std::vector<PlistValue> replies = Replies();
  ASSERT_EQ(replies.size(), 10u);
  EXPECT_EQ(replies[0].array()[1].AsInt64(), -13);
  EXPECT_EQ(replies[0].array()[2].Bytes(), "Multi status");
  EXPECT_EQ(replies[0].array()[3].dict().size(), 3u);
  EXPECT_EQ(replies[0].array()[3].FindDict(U + "/Manifest.db")->FindInteger("DLFileErrorCode"), -6);
  EXPECT_EQ(replies[1].array()[3].AsInt64(), 123456789);
  EXPECT_EQ(replies[2].array()[3].Bytes(), "___EmptyParameterString___");
  EXPECT_NE(replies[8].array()[1].AsInt64(), 0);  // PurgeDiskSpace is not offered, but answered
  EXPECT_EQ(replies[9].array()[1].AsInt64(), 0);  // the final Response is acknowledged

  // The moved file replaced its older copy; the folder holds what the device sent and nothing else.
  EXPECT_EQ(Read(Folder() / "a"), "new bytes");
  EXPECT_EQ(Read(Folder() / "copy"), "new bytes");
  EXPECT_TRUE(fs::exists(Folder() / "e" / "empty"));
  EXPECT_FALSE(fs::exists(Folder() / "Snapshot"));
  EXPECT_EQ(steps_, (std::vector<int>{0, 100, 3750, 9000, 10000}));
}

TEST_F(BackupSessionTest, AFreeSpaceTheSystemCannotTellIsAnsweredWithAFailureNotLeftOpen) {
  BackupSessionHooks hooks;
  hooks.free_bytes = [](const std::string&) { return int64_t{-1}; };
  std::string script = Opening() + Framed(Msg({S("DLMessageGetFreeDiskSpace")})) +
                       Framed(Msg({S("DLContentsOfDirectory"), S(U)})) + Framed(Final(0));
  EXPECT_EQ(RunBackup(script, hooks).code, 0);
  std::vector<PlistValue> replies = Replies();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_NE(replies[0].array()[1].AsInt64(), 0);
  EXPECT_EQ(replies[1].array()[1].AsInt64(), 0);
  EXPECT_TRUE(replies[1].array()[3].IsDict());
}

TEST_F(BackupSessionTest, TheDevicesErrorCodeEndsTheBackupWithItsDescription) {
  BackupResult result = RunBackup(Opening() + Framed(Final(208, "Device locked (MBErrorDomain/208)")));
  EXPECT_EQ(result.code, 208);
  EXPECT_EQ(result.text, "Device locked (MBErrorDomain/208)");
}

TEST_F(BackupSessionTest, ADisconnectBeforeCompletionIs45AndALostStreamIsATaskError) {
  std::string half = Opening() + Framed(Msg({S("DLMessageCreateDirectory"), S(U + "/Snapshot"), PlistValue::MakeDict(),
                                             R(50)}));
  EXPECT_EQ(RunBackup(half + Framed(Msg({S("DLMessageDisconnect"), S("gone")}))).code, 45);
  BackupResult lost = RunBackup(half);
  EXPECT_EQ(lost.code, 2);
  EXPECT_EQ(lost.text, "Task error.");
  BackupResult cut = RunBackup(
      half + Framed(Msg({S("DLMessageUploadFiles"), PlistValue::MakeDict(), R(50), PlistValue::Integer(100)})) +
      Name("/var/x") + Name(U + "/Snapshot/x") + U32(101) + '\x0c' + "only part");
  EXPECT_EQ(cut.code, 45);
  EXPECT_FALSE(fs::exists(Folder() / "Snapshot" / "x"));
}

TEST_F(BackupSessionTest, HostilePathsInFolderRequestsAreRefusedBeforeAnythingIsTouched) {
  fs::create_directories(root_ / "victim");
  std::ofstream(root_ / "victim" / "keep") << "keep";
  for (const PlistValue& hostile : std::vector<PlistValue>
       {Msg({S("DLMessageCreateDirectory"), S(U + "/../../made"), PlistValue::MakeDict(), R(1)}),
        Msg({S("DLMessageRemoveItems"), List({U + "/../../victim"}), PlistValue::MakeDict(), R(1)}),
        Msg({S("DLMessageMoveItems"), PlistValue::MakeDict({{"/etc/hostname", S(U + "/stolen")}}),
             PlistValue::MakeDict(), R(1)}),
        Msg({S("DLMessageCopyItem"), S(U + "/../../victim/keep"), S(U + "/copied")})}) {
    sent_.clear();
    BackupResult result = RunBackup(Opening() + Framed(hostile));
    EXPECT_EQ(result.code, 46) << hostile.array()[0].Bytes();
    ASSERT_FALSE(Replies().empty());
    EXPECT_NE(Replies().back().array()[1].AsInt64(), 0);
  }
  EXPECT_FALSE(fs::exists(root_ / "made"));
  EXPECT_EQ(Read(root_ / "victim" / "keep"), "keep");
  EXPECT_FALSE(fs::exists(Folder() / "stolen"));
  EXPECT_FALSE(fs::exists(Folder() / "copied"));
}

TEST_F(BackupSessionTest, AStoppedTaskEndsWithTaskCancelled) {
  BackupSessionHooks hooks;
  hooks.cancelled = [] { return true; };
  BackupResult result = RunBackup(Opening() + Framed(Msg({S("DLMessageGetFreeDiskSpace")})), hooks);
  EXPECT_EQ(result.code, 6);
  EXPECT_EQ(result.text, "Task cancelled.");
}

TEST_F(BackupSessionTest, ARestoreSendsTheRequestedFilesAndRefusesNamesOutsideTheBackup) {
  std::ofstream(Folder() / "Manifest.plist") << std::string(3 * 1024 * 1024 + 5, 'm');
  std::ofstream(root_ / "backups" / "secret") << "SECRET CONTENT";
  std::string script =
      Opening() +
      Framed(Msg({S("DLMessageDownloadFiles"), List({U + "/Manifest.plist", U + "/../secret", U + "/none"}),
                  PlistValue::MakeDict(), R(10)})) +
      Framed(Final(0));
  DeviceLink link(std::make_unique<backup_test::ScriptedChannel>(script, &sent_, &raw_sent_), 1000);
  BackupPathMap paths((root_ / "backups").string(), U, U + "-20261208131500");
  RestoreRequest request{U, "TARGET", true, "pw"};
  BackupResult result = RunRestoreSession(link, paths, request, {});
  EXPECT_EQ(result.code, 0) << result.text;
  EXPECT_EQ(raw_sent_.find("SECRET CONTENT"), std::string::npos);
  EXPECT_NE(raw_sent_.find(Name(U + "/../secret") + U32(24) + '\x06' + "Operation not permitted"), std::string::npos);
  EXPECT_NE(raw_sent_.find(Name(U + "/none") + U32(26) + '\x06'), std::string::npos);
  std::string whole = raw_sent_.substr(0, raw_sent_.find(Name(U + "/../secret")));
  EXPECT_EQ(whole.substr(whole.size() - 5), U32(1) + '\0');
  // The Restore request names both devices and carries the password of an encrypted backup.
  const PlistValue& restore = sent_[2].array()[1];
  EXPECT_EQ(restore.FindString("SourceIdentifier"), U);
  EXPECT_EQ(restore.FindString("TargetIdentifier"), "TARGET");
  EXPECT_EQ(restore.FindDict("Options")->FindString("Password"), "pw");
  std::vector<PlistValue> replies = Replies();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].array()[3].dict().size(), 2u);
}

}  // namespace
