// The backup service's formats: file names, the file streams between messages, the manifests and where a
// restored file may land.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "backup_manifest_db.h"
#include "backup_plists.h"
#include "backup_source.h"
#include "backup_transfer.h"
#include "plist_channel.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

// Both ends of a connected socket pair as Streams.
class StreamPair : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
    device_ = std::make_unique<Stream>(fds_[0], stopping_);
    computer_ = std::make_unique<Stream>(fds_[1], stopping_);
  }
  void TearDown() override {
    device_.reset();
    computer_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  void ComputerSends(const std::string& bytes) { ASSERT_TRUE(computer_->Write(bytes.data(), bytes.size())); }

  std::atomic<bool> stopping_{false};
  int fds_[2];
  std::unique_ptr<Stream> device_, computer_;
};

std::string Name(const std::string& text) { return EncodeLength(static_cast<uint32_t>(text.size()), LengthOrder::kBigEndian) + text; }
std::string Block(unsigned char code, const std::string& payload) {
  return EncodeLength(static_cast<uint32_t>(payload.size() + 1), LengthOrder::kBigEndian) +
         std::string(1, static_cast<char>(code)) + payload;
}

TEST(BackupFileId, IsTheDigestOfDomainDashPath) {
  EXPECT_EQ(BackupFileId("HomeDomain", "Library/SMS/sms.db"), "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
  EXPECT_EQ(BackupFileId("MediaDomain", "Library/Recordings/Recordings.db"), "f0ab5dad305d769185aae95463f895e4294f961d");
  EXPECT_EQ(BackupFileId("AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "ChatStorage.sqlite"),
            "7c7fba66680ef796b916b067077cc246adacf01d");
}

TEST_F(StreamPair, DownloadsSeparateDataFilesFromFilesTheComputerLacks) {
  ComputerSends(Name("a/one") + Block(kBlockData, "hel") + Block(kBlockData, "lo") + Block(kBlockEnd, "") +
                Name("a/empty") + Block(kBlockEnd, "") + Name("a/gone") +
                Block(kBlockLocalError, "No such file or directory") + EncodeLength(0, LengthOrder::kBigEndian));
  MemoryDownloads sink(1 << 20);
  std::map<std::string, std::string> missing;
  ASSERT_TRUE(ReceiveDownloads(*device_, sink, &missing));
  EXPECT_EQ(sink.files().at("a/one"), "hello");
  EXPECT_EQ(sink.files().at("a/empty"), "");
  EXPECT_EQ(sink.files().count("a/gone"), 0u);
  EXPECT_EQ(missing.at("a/gone"), "No such file or directory");
}

TEST_F(StreamPair, DownloadsRefuseAnOverlongNameAndDropAFileAboveTheLimit) {
  ComputerSends(Name("big") + Block(kBlockData, std::string(100, 'x')) + Block(kBlockEnd, "") +
                EncodeLength(0, LengthOrder::kBigEndian));
  MemoryDownloads small(10);
  std::map<std::string, std::string> missing;
  ASSERT_TRUE(ReceiveDownloads(*device_, small, &missing));  // the stream stays in step
  EXPECT_TRUE(small.files().empty());

  ComputerSends(EncodeLength(kMaxTransferName + 1, LengthOrder::kBigEndian));
  MemoryDownloads sink(1 << 20);
  EXPECT_FALSE(ReceiveDownloads(*device_, sink, &missing));
}

TEST_F(StreamPair, DownloadsFailWhenTheComputerGoesAwayMidFile) {
  ComputerSends(Name("cut") + EncodeLength(1000, LengthOrder::kBigEndian) + std::string(1, '\x0C') + "partial");
  ::shutdown(fds_[1], SHUT_WR);
  MemoryDownloads sink(1 << 20);
  std::map<std::string, std::string> missing;
  EXPECT_FALSE(ReceiveDownloads(*device_, sink, &missing));
  EXPECT_TRUE(sink.files().empty());
}

TEST_F(StreamPair, UploadsFrameEachFileWithItsNamesBlocksAndEndMarker) {
  std::thread writer([&] {
    SendUploadNames(*device_, "/HomeDomain/x", "udid/Snapshot/ab/abc");
    SendUploadBytes(*device_, "payload");
    SendUploadNames(*device_, "/HomeDomain/empty", "udid/Snapshot/cd/cde");
    SendUploadBytes(*device_, "");
    SendEndOfFiles(*device_);
  });
  std::string expected = Name("/HomeDomain/x") + Name("udid/Snapshot/ab/abc") + Block(kBlockData, "payload") +
                         Block(kBlockEnd, "") + Name("/HomeDomain/empty") + Name("udid/Snapshot/cd/cde") +
                         Block(kBlockEnd, "") + EncodeLength(0, LengthOrder::kBigEndian);
  std::string got(expected.size(), '\0');
  ASSERT_TRUE(computer_->ReadExact(got.data(), got.size()));
  writer.join();
  EXPECT_EQ(got, expected);
}

TEST(RestoredFilePath, KeepsEveryNameInsideTheRestoredState) {
  std::string path;
  EXPECT_TRUE(RestoredFilePath("/r", "HomeDomain", "Library/SMS/sms.db", &path));
  EXPECT_EQ(path, "/r/HomeDomain/Library/SMS/sms.db");
  for (const auto& [domain, relative] : std::vector<std::pair<std::string, std::string>>{
           {"HomeDomain", "../../etc/passwd"}, {"HomeDomain", "Library/../../x"}, {"..", "x"},
           {"HomeDomain", "/etc/passwd"}, {"Home/Domain", "x"}, {"HomeDomain", "a\\..\\b"},
           {"HomeDomain", std::string("a\0b", 3)}, {"HomeDomain", "a//b"}, {"HomeDomain", ""}, {"", "x"}}) {
    EXPECT_FALSE(RestoredFilePath("/r", domain, relative, &path)) << domain << " " << relative;
  }
}

class SourceTree : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/devicesim-backup-unit.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    fs::create_directories(root_ + "/HomeDomain/Library/SMS");
    std::ofstream(root_ + "/HomeDomain/Library/SMS/sms.db") << "twelve bytes";
    fs::create_directories(root_ + "/MediaDomain");
    std::ofstream(root_ + "/MediaDomain/b.txt") << "b";
    fs::create_symlink("/etc/passwd", root_ + "/MediaDomain/link");
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string root_;
};

TEST_F(SourceTree, ScanListsDomainsFoldersAndFilesButNoLinks) {
  std::vector<BackupItem> items;
  std::string error;
  ASSERT_TRUE(ScanBackupSource(root_, &items, &error)) << error;
  std::vector<std::string> names;
  for (const BackupItem& item : items) names.push_back(item.domain + "-" + item.relative_path + (item.is_dir ? "/" : ""));
  EXPECT_EQ(names, (std::vector<std::string>{"HomeDomain-/", "HomeDomain-Library/", "HomeDomain-Library/SMS/",
                                             "HomeDomain-Library/SMS/sms.db", "MediaDomain-/", "MediaDomain-b.txt"}));
  EXPECT_TRUE(ScanBackupSource(root_ + "/missing", &items, &error));
  EXPECT_TRUE(items.empty());
}

TEST_F(SourceTree, ManifestDbAndMbdbReadBackWhatWasWritten) {
  std::vector<BackupItem> items;
  std::string error, db;
  ASSERT_TRUE(ScanBackupSource(root_, &items, &error));
  ASSERT_TRUE(BuildManifestDb(items, &db, &error)) << error;
  std::vector<ManifestEntry> from_db, from_mbdb;
  ASSERT_TRUE(ReadManifestDb(db, &from_db, &error)) << error;
  ASSERT_TRUE(ReadManifestMbdb(BuildManifestMbdb(items), &from_mbdb));
  for (const auto* entries : {&from_db, &from_mbdb}) {
    ASSERT_EQ(entries->size(), items.size());
    for (const BackupItem& item : items) {
      auto it = std::find_if(entries->begin(), entries->end(),
                             [&](const ManifestEntry& entry) { return entry.file_id == item.file_id; });
      ASSERT_NE(it, entries->end()) << item.relative_path;
      EXPECT_EQ(it->domain, item.domain);
      EXPECT_EQ(it->relative_path, item.relative_path);
      EXPECT_EQ(it->flags, item.is_dir ? 2 : 1);
      EXPECT_EQ(it->size, item.size);
      EXPECT_EQ(it->mtime, item.mtime);
    }
  }
  EXPECT_FALSE(ReadManifestDb("not a database at all", &from_db, &error));
  EXPECT_FALSE(ReadManifestMbdb(BuildManifestMbdb(items).substr(0, 20), &from_mbdb));
}

TEST(ManifestPlist, EncryptedManifestOpensOnlyWithItsPassword) {
  Value values = Value::Dict();
  values.Set("ProductVersion", "16.4");
  bool encrypted = false;
  std::string keybag;
  ASSERT_TRUE(ReadManifestPlist(MakeManifestPlist(values, true, true, "s3cret", 0), &encrypted, &keybag));
  EXPECT_TRUE(encrypted);
  EXPECT_TRUE(KeybagAccepts(keybag, "s3cret"));
  EXPECT_FALSE(KeybagAccepts(keybag, "s3cret "));
  EXPECT_FALSE(KeybagAccepts(keybag, ""));
  EXPECT_FALSE(KeybagAccepts("", ""));
  ASSERT_TRUE(ReadManifestPlist(MakeManifestPlist(values, true, false, "", 0), &encrypted, &keybag));
  EXPECT_FALSE(encrypted);
  EXPECT_FALSE(ReadManifestPlist("garbage", &encrypted, &keybag));
}

}  // namespace
}  // namespace devicesim
