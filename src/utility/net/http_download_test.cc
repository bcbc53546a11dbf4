// Downloads from a web server on 127.0.0.1: what lands on disk (or nowhere) for whole, large, slow, cut and
// redirected answers, and which URLs are never fetched.
#include "utility/net/http_download.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/one_shot_http_server.h"
#include "utility/zeb_utility.h"

namespace {

using testing_support::HttpAnswer;
using testing_support::OneShotHttpServer;
namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

class HttpDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = (fs::temp_directory_path() / ("http_download_test_" + std::to_string(::getpid()))).string();
    fs::create_directories(dir_);
    target_ = dir_ + "/driver.deb";
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The folder holds the target with `content` and nothing else (no temporary file left behind).
  void ExpectOnlyTarget(const std::string& content) {
    EXPECT_EQ(ReadFile(target_), content);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  }

  std::string dir_, target_;
};

TEST_F(HttpDownloadTest, AWholeAnswerBecomesTheFileWithItsMd5AndProgress) {
  std::string body(300000, 'x');
  body += "end";
  OneShotHttpServer server({HttpAnswer("200 OK", "", body), HttpAnswer("200 OK", "", "small")});
  int64_t last_received = 0, last_total = 0;
  HttpOutcome outcome = DownloadToFile(server.Url("/x64/usbmuxd.deb"), target_, {}, [&](int64_t received, int64_t total) {
    last_received = received;
    last_total = total;
    return true;
  });
  ASSERT_EQ(outcome.code, HttpCode::kOk) << outcome.reason;
  EXPECT_EQ(outcome.bytes, static_cast<int64_t>(body.size()));
  EXPECT_EQ(outcome.md5, Md5Hex(body));
  EXPECT_EQ(last_received, static_cast<int64_t>(body.size()));
  EXPECT_EQ(last_total, static_cast<int64_t>(body.size()));
  ExpectOnlyTarget(body);
  std::string memory;
  ASSERT_EQ(DownloadToMemory(server.Url("/x64/usbmuxd.deb.txt"), &memory).code, HttpCode::kOk);
  EXPECT_EQ(memory, "small");
}

TEST_F(HttpDownloadTest, TooLargeAnswersAreCutOffAndLeaveTheOldFile) {
  std::ofstream(target_) << "old";
  std::string big(4096, 'x');
  std::string unannounced = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + big;
  OneShotHttpServer server({HttpAnswer("200 OK", "", big), unannounced});
  HttpLimits small{.max_bytes = 1024};
  EXPECT_EQ(DownloadToFile(server.Url("/announced"), target_, small).code, HttpCode::kTooLarge);
  EXPECT_EQ(DownloadToFile(server.Url("/streamed"), target_, small).code, HttpCode::kTooLarge);
  ExpectOnlyTarget("old");
}

TEST_F(HttpDownloadTest, AnAnswerCutShortOrRefusedLeavesNoFile) {
  std::string cut = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" + std::string(100, 'x');
  OneShotHttpServer server({cut, HttpAnswer("404 Not Found", "", "missing")});
  EXPECT_EQ(DownloadToFile(server.Url("/cut"), target_).code, HttpCode::kFailed);
  EXPECT_EQ(DownloadToFile(server.Url("/missing"), target_).code, HttpCode::kHttpError);
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(HttpDownloadTest, AServerThatNeverAnswersTimesOut) {
  OneShotHttpServer server({""});  // accepted, never answered
  HttpLimits quick{.timeout_ms = 300};
  EXPECT_EQ(DownloadToFile(server.Url("/slow"), target_, quick).code, HttpCode::kTimedOut);
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(HttpDownloadTest, RedirectsAreFollowedUpToTheLimit) {
  std::string hop = HttpAnswer("302 Found", "Location: /next\r\n", "");
  OneShotHttpServer within({hop, hop, HttpAnswer("200 OK", "", "arrived")});
  HttpLimits two{.max_redirects = 2};
  std::string body;
  EXPECT_EQ(DownloadToMemory(within.Url("/start"), &body, two).code, HttpCode::kOk);
  EXPECT_EQ(body, "arrived");
  OneShotHttpServer beyond({hop, hop, hop, HttpAnswer("200 OK", "", "arrived")});
  EXPECT_EQ(DownloadToMemory(beyond.Url("/start"), &body, two).code, HttpCode::kTooManyRedirects);
  EXPECT_TRUE(body.empty());
}

TEST_F(HttpDownloadTest, OnlyWebAddressesAreFetchedAlsoThroughRedirects) {
  std::string local = dir_ + "/secret";
  std::ofstream(local) << "secret";
  for (const std::string& url :
       std::vector<std::string>{"file://" + local, "ftp://127.0.0.1/x", "gopher://127.0.0.1/", "not a url"}) {
    EXPECT_EQ(DownloadToFile(url, target_).code, HttpCode::kRefusedUrl) << url;
  }
  OneShotHttpServer server({HttpAnswer("302 Found", "Location: file://" + local + "\r\n", "")});
  std::string body;
  EXPECT_NE(DownloadToMemory(server.Url("/to-file"), &body).code, HttpCode::kOk);
  EXPECT_TRUE(body.empty());
  EXPECT_FALSE(fs::exists(target_));
}

TEST_F(HttpDownloadTest, TheSizeIsAskedWithoutTheBodyAndProgressCanStop) {
  OneShotHttpServer server({HttpAnswer("200 OK", "", std::string(5000, 'x')),
                            "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", HttpAnswer("200 OK", "", "abc")});
  int64_t size = 0;
  ASSERT_EQ(QuerySize(server.Url("/sized"), &size).code, HttpCode::kOk);
  EXPECT_EQ(size, 5000);
  ASSERT_EQ(QuerySize(server.Url("/unsized"), &size).code, HttpCode::kOk);
  EXPECT_EQ(size, -1);
  HttpOutcome stopped = DownloadToFile(server.Url("/stop"), target_, {}, [](int64_t, int64_t) { return false; });
  EXPECT_EQ(stopped.code, HttpCode::kStopped);
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
