// The upload stream of a backup: files written whole or not at all, hostile names refused, the device's error
// blocks, a failing disk, files shared with an earlier backup left alone, and the work backup's filter.
#include "utility/backup/upload_receiver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "utility/backup/backup_test_stream.h"

namespace {

namespace fs = std::filesystem;
using backup_test::Name;
using backup_test::U32;
using backup_test::UploadedFile;

constexpr char kUdid[] = "UDID";

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class UploadReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(::testing::TempDir()) / ("upload-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "UDID-1" / "Snapshot");
  }
  void TearDown() override { fs::remove_all(root_); }

  UploadOutcome Receive(const std::string& stream, UploadHooks hooks = {}) {
    BackupPathMap paths(root_.string(), kUdid, "UDID-1");
    UploadReceiver receiver(paths, std::move(hooks));
    size_t at = 0;
    return receiver.Receive([&](char* buffer, size_t length) {
      if (stream.size() - at < length) return false;
      stream.copy(buffer, length, at);
      at += length;
      return true;
    });
  }
  fs::path Local(const std::string& relative) const { return root_ / "UDID-1" / relative; }

  fs::path root_;
};

TEST_F(UploadReceiverTest, FilesAreWrittenWholeAndAZeroLengthFileIsCreatedEmpty) {
  std::string big(3 * kUploadBuffer + 17, 'x');
  big[kUploadBuffer] = 'y';
  std::string stream = UploadedFile("UDID/Snapshot/a", "hello world") +
                       Name("/var/mobile/empty") + Name("UDID/Snapshot/empty") + U32(1) + '\0' +
                       UploadedFile("UDID/Snapshot/big", big, 2 * kUploadBuffer) + U32(0);
  std::vector<std::string> written;
  UploadHooks hooks;
  hooks.written = [&](const std::string& device, const std::string& local) { written.push_back(device + "|" + local); };
  UploadOutcome outcome = Receive(stream, hooks);
  EXPECT_EQ(outcome.status, UploadStatus::kDone);
  EXPECT_EQ(outcome.files, 3u);
  EXPECT_EQ(Read(Local("Snapshot/a")), "hello world");
  EXPECT_TRUE(fs::exists(Local("Snapshot/empty")));
  EXPECT_EQ(fs::file_size(Local("Snapshot/empty")), 0u);
  EXPECT_EQ(Read(Local("Snapshot/big")), big);
  ASSERT_EQ(written.size(), 3u);
  EXPECT_EQ(written[0], "/var/mobile/UDID/Snapshot/a|" + Local("Snapshot/a").string());
}

TEST_F(UploadReceiverTest, AClimbingOrOverlongTargetFailsTheUploadAndWritesNothing) {
  UploadOutcome climbing = Receive(UploadedFile("UDID/../../escaped", "evil") + U32(0));
  EXPECT_EQ(climbing.status, UploadStatus::kRefusedName);
  EXPECT_FALSE(fs::exists(root_ / ".." / "escaped"));
  EXPECT_FALSE(fs::exists(root_.parent_path().parent_path() / "escaped"));
  UploadOutcome absolute = Receive(UploadedFile("/tmp/escaped-absolute", "evil") + U32(0));
  EXPECT_EQ(absolute.status, UploadStatus::kRefusedName);
  std::string long_name = "UDID/Snapshot/" + std::string(5000, 'a');
  UploadOutcome overlong = Receive(Name("/var/x") + U32(static_cast<uint32_t>(long_name.size())) + long_name);
  EXPECT_EQ(overlong.status, UploadStatus::kRefusedName);
}

TEST_F(UploadReceiverTest, AStreamThatEndsInsideAFileLeavesNoPartialFile) {
  // A block announcing 4 GiB, a few bytes, then the connection is gone.
  std::string stream = UploadedFile("UDID/Snapshot/ok", "fine") + Name("/var/x") + Name("UDID/Snapshot/huge") +
                       U32(0xFFFFFFF0u) + '\x0c' + "sixteen bytes...";
  UploadOutcome outcome = Receive(stream);
  EXPECT_EQ(outcome.status, UploadStatus::kStreamFailed);
  EXPECT_EQ(outcome.files, 1u);
  EXPECT_FALSE(fs::exists(Local("Snapshot/huge")));
  EXPECT_EQ(Receive(Name("/var/x") + Name("UDID/Snapshot/odd") + U32(3) + '\x07' + "ab" + U32(0)).status,
            UploadStatus::kStreamFailed);
  EXPECT_FALSE(fs::exists(Local("Snapshot/odd")));
}

TEST_F(UploadReceiverTest, AFileTheDeviceEndsWithAnErrorIsDroppedAndTheUploadGoesOn) {
  std::string stream = Name("/var/gone") + Name("UDID/Snapshot/gone") + U32(3) + '\x0c' + "ab" + U32(26) + '\x0b' +
                       "No such file or directory" + UploadedFile("UDID/Snapshot/next", "next") + U32(0);
  UploadOutcome outcome = Receive(stream);
  EXPECT_EQ(outcome.status, UploadStatus::kDone);
  EXPECT_FALSE(fs::exists(Local("Snapshot/gone")));
  EXPECT_EQ(Read(Local("Snapshot/next")), "next");
}

TEST_F(UploadReceiverTest, AFullDiskFailsTheUploadAndLeavesNoPartialFile) {
  UploadHooks hooks;
  hooks.open = [](const std::string& local) {
    std::ofstream(local) << "";  // the file exists, as a real one would, until the failure removes it
    return std::fopen("/dev/full", "wb");
  };
  UploadOutcome outcome = Receive(UploadedFile("UDID/Snapshot/a", std::string(100000, 'z'), 65536) + U32(0), hooks);
  EXPECT_EQ(outcome.status, UploadStatus::kWriteFailed);
  EXPECT_NE(outcome.detail.find("No space left on device"), std::string::npos) << outcome.detail;
  EXPECT_FALSE(fs::exists(Local("Snapshot/a")));
}

TEST_F(UploadReceiverTest, AFileSharedByHardLinkWithAnEarlierBackupKeepsItsOldContent) {
  fs::create_directories(root_ / "UDID-0");
  std::ofstream(root_ / "UDID-0" / "Manifest.db") << "old manifest";
  fs::create_hard_link(root_ / "UDID-0" / "Manifest.db", Local("Manifest.db"));
  EXPECT_EQ(Receive(UploadedFile("UDID/Manifest.db", "new manifest") + U32(0)).status, UploadStatus::kDone);
  EXPECT_EQ(Read(Local("Manifest.db")), "new manifest");
  EXPECT_EQ(Read(root_ / "UDID-0" / "Manifest.db"), "old manifest");
}

TEST_F(UploadReceiverTest, UnwantedFilesAreReadAndDroppedAndACancelStopsBeforeTheNextFile) {
  UploadHooks hooks;
  hooks.wanted = [](const std::string& local) { return local.find("keep") != std::string::npos; };
  std::string stream =
      UploadedFile("UDID/Snapshot/drop", "dropped bytes") + UploadedFile("UDID/Snapshot/keep", "kept") + U32(0);
  EXPECT_EQ(Receive(stream, hooks).status, UploadStatus::kDone);
  EXPECT_FALSE(fs::exists(Local("Snapshot/drop")));
  EXPECT_EQ(Read(Local("Snapshot/keep")), "kept");

  int polls = 0;
  UploadHooks cancelling;
  cancelling.cancelled = [&] { return ++polls > 1; };
  EXPECT_EQ(Receive(UploadedFile("UDID/Snapshot/1", "a") + UploadedFile("UDID/Snapshot/2", "b") + U32(0), cancelling)
                .status,
            UploadStatus::kCancelled);
  EXPECT_TRUE(fs::exists(Local("Snapshot/1")));
  EXPECT_FALSE(fs::exists(Local("Snapshot/2")));
}

}  // namespace
