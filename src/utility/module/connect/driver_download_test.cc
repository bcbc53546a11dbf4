// The driver download against a web server on 127.0.0.1: verified packages, reuse, and every way a server can
// let the run down without a package that fails its MD5 being listed or left behind.
#include "utility/module/connect/driver_download.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <fstream>

#include "support/path_http_server.h"
#include "utility/zeb_utility.h"

namespace {

namespace fs = std::filesystem;
using testing_support::PathHttpServer;

const char* kNames[] = {"libusbmuxd6.deb", "libimobiledevice6.deb", "usbmuxd.deb"};

class DriverDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/drivers.XXXXXX";
    folder_ = std::string(mkdtemp(pattern)) + "/";
    for (int i = 0; i < 3; ++i) {
      bodies_[i] = std::string(300000 + i * 1000, static_cast<char>('a' + i));
    }
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Serves every package with its right MD5, unless the test changed a route before.
  void ServeAll() {
    for (int i = 0; i < 3; ++i) {
      std::string path = std::string("/drivers/x64/") + kNames[i];
      server_.Route(path, bodies_[i]);
      server_.Route(path + ".txt", Md5Hex(bodies_[i]) + "\n");
    }
  }
  std::vector<std::string> Run(std::string base = "", std::function<bool()> aborted = [] { return false; }) {
    server_.Start();
    DriverDownload request;
    request.base_url = base.empty() ? server_.Url("/drivers") : base;
    request.folder = folder_;
    request.package_limits.stall_seconds = stall_seconds_;
    request.aborted = std::move(aborted);
    request.progress = [this](const DriverProgress& p) { progress_.push_back(p); };
    return DownloadDriverPackages(request);
  }
  std::string Local(int i) const { return folder_ + kNames[i]; }
  int Gets(int i) { return server_.Count("GET", std::string("/drivers/x64/") + kNames[i]); }
  size_t FilesInFolder() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
  }

  PathHttpServer server_;
  std::string folder_;
  std::string bodies_[3];
  std::vector<DriverProgress> progress_;
  long stall_seconds_ = 1;
};

TEST(DriverPackageUrls, ABaseWithOrWithoutTheSlashGivesTheSameUrls) {
  EXPECT_EQ(DriverPackageUrls("http://h/d"), DriverPackageUrls("http://h/d/"));
  EXPECT_EQ(DriverPackageUrls("http://h/d")[2], "http://h/d/x64/usbmuxd.deb");
}

TEST_F(DriverDownloadTest, DownloadsVerifiesAndListsEveryPackageWithProgress) {
  ServeAll();
  std::vector<std::string> paths = Run();
  EXPECT_EQ(paths, (std::vector<std::string>{Local(0), Local(1), Local(2)}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(FileMd5(Local(i)), Md5Hex(bodies_[i]));
  ASSERT_FALSE(progress_.empty());
  EXPECT_EQ(progress_.back().index, 3);
  EXPECT_EQ(progress_.back().count, 3);
  EXPECT_EQ(progress_.back().step, progress_.back().total);
  EXPECT_EQ(progress_.back().total, static_cast<int64_t>(bodies_[2].size()));
  EXPECT_LE(progress_.size(), 3u * 101u);
  EXPECT_EQ(FilesInFolder(), 3u);
}

TEST_F(DriverDownloadTest, APackageAlreadyThereWithItsMd5IsListedWithoutDownloadingIt) {
  ServeAll();
  std::ofstream(Local(0), std::ios::binary) << bodies_[0];
  std::ofstream(Local(1), std::ios::binary) << "an older, different package";
  std::vector<std::string> paths = Run(server_.Url("/drivers/"));
  EXPECT_EQ(paths.size(), 3u);
  EXPECT_EQ(Gets(0), 0);
  EXPECT_EQ(Gets(1), 1);
  EXPECT_EQ(FileMd5(Local(1)), Md5Hex(bodies_[1]));
}

TEST_F(DriverDownloadTest, APackageWhoseMd5DiffersIsNeitherListedNorLeftAndEndsTheRun) {
  ServeAll();
  server_.Route("/drivers/x64/libimobiledevice6.deb.txt", Md5Hex("something else"));
  std::vector<std::string> paths = Run();
  EXPECT_EQ(paths, std::vector<std::string>{Local(0)});
  EXPECT_FALSE(fs::exists(Local(1)));
  EXPECT_EQ(Gets(2), 0);
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(DriverDownloadTest, APackageWithoutCompanionIsPassedOverAndABadCompanionEndsTheRun) {
  ServeAll();
  server_.Route("/drivers/x64/libusbmuxd6.deb.txt", "");  // size 0
  server_.Route("/drivers/x64/usbmuxd.deb.txt", "not an md5 at all, just words\n");
  std::vector<std::string> paths = Run();
  EXPECT_EQ(paths, std::vector<std::string>{Local(1)});
  EXPECT_EQ(Gets(0), 0);
  EXPECT_EQ(Gets(2), 0);
}

TEST_F(DriverDownloadTest, AServerThatClosesEarlyLeavesNoFile) {
  ServeAll();
  server_.Route("/drivers/x64/libusbmuxd6.deb", bodies_[0], PathHttpServer::Behaviour::kCloseHalfway);
  EXPECT_TRUE(Run().empty());
  EXPECT_EQ(FilesInFolder(), 0u);
}

TEST_F(DriverDownloadTest, AStallingServerIsGivenUpAfterTheStallLimit) {
  ServeAll();
  server_.Route("/drivers/x64/libimobiledevice6.deb", bodies_[1], PathHttpServer::Behaviour::kStallAfterHeaders);
  EXPECT_EQ(Run(), std::vector<std::string>{Local(0)});
  EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(DriverDownloadTest, AStopEndsTheRunDuringATransfer) {
  ServeAll();
  server_.Route("/drivers/x64/libimobiledevice6.deb", bodies_[1], PathHttpServer::Behaviour::kStallAfterHeaders);
  std::atomic<bool> stop{false};
  std::thread stopper([&] {
    while (Gets(1) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
  });
  stall_seconds_ = 60;  // only the stop can end this transfer within the test's patience
  auto started = std::chrono::steady_clock::now();
  std::vector<std::string> paths = Run("", [&] { return stop.load(); });
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_EQ(paths, std::vector<std::string>{Local(0)});
  EXPECT_EQ(FilesInFolder(), 1u);
}

}  // namespace
