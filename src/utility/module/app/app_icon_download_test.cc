#include "utility/module/app/app_icon_download.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

const std::string kPng = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + "rest of the image";

// Answers each of `answers` to one HTTP request, in order, on a loopback port. An empty answer holds the
// connection open without a word until the server is destroyed.
class OneShotHttpServer {
 public:
  explicit OneShotHttpServer(std::vector<std::string> answers) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, answers = std::move(answers)] {
      for (const std::string& answer : answers) {
        int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos) {
          ssize_t n = ::read(client, buffer, sizeof buffer);
          if (n <= 0) break;
          request.append(buffer, static_cast<size_t>(n));
        }
        if (!answer.empty()) (void)!::write(client, answer.data(), answer.size());
        while (answer.empty() && !stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::close(client);
      }
    });
  }
  ~OneShotHttpServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
  }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

std::string HttpAnswer(const std::string& status, const std::string& headers, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers +
         "Connection: close\r\n\r\n" + body;
}

class IconDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("icon_download_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string WriteFile(const std::string& name, const std::string& content) {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(IconDownloadTest, ImagesDownloadFromFilesAndWebServers) {
  std::string image, reason;
  ASSERT_TRUE(DownloadStoreIcon("file://" + WriteFile("icon.png", kPng), &image, &reason)) << reason;
  EXPECT_EQ(image, kPng);

  std::string jpeg("\xFF\xD8\xFF\xE0 jfif", 9);
  OneShotHttpServer server({HttpAnswer("200 OK", "Content-Type: image/jpeg\r\n", jpeg)});
  ASSERT_TRUE(DownloadStoreIcon(server.Url("/icon57.jpg"), &image, &reason)) << reason;
  EXPECT_EQ(image, jpeg);
}

TEST_F(IconDownloadTest, WhatIsNoImageIsNotHandedOn) {
  std::string image, reason;
  EXPECT_FALSE(DownloadStoreIcon("file://" + WriteFile("secret.txt", "password=hunter2"), &image, &reason));
  EXPECT_TRUE(image.empty());
  OneShotHttpServer server({HttpAnswer("200 OK", "", "<html>nope</html>"), HttpAnswer("404 Not Found", "", "")});
  EXPECT_FALSE(DownloadStoreIcon(server.Url("/page"), &image, &reason));
  EXPECT_FALSE(DownloadStoreIcon(server.Url("/missing.png"), &image, &reason));
  EXPECT_TRUE(image.empty());
}

TEST_F(IconDownloadTest, OtherSchemesAndSpecialFilesAreRefused) {
  std::string image, reason;
  for (const std::string url : {"ftp://127.0.0.1/icon.png", "gopher://127.0.0.1/", "dict://127.0.0.1/x",
                                "file:///dev/zero", "file:///proc/self/environ", "file:///tmp", "not a url"}) {
    EXPECT_FALSE(DownloadStoreIcon(url, &image, &reason)) << url;
  }
}

TEST_F(IconDownloadTest, AWebServerCannotRedirectToALocalFile) {
  std::string png_path = WriteFile("local.png", kPng);
  OneShotHttpServer server({HttpAnswer("302 Found", "Location: file://" + png_path + "\r\n", "")});
  std::string image, reason;
  EXPECT_FALSE(DownloadStoreIcon(server.Url("/icon.png"), &image, &reason));
  EXPECT_TRUE(image.empty());
}

TEST_F(IconDownloadTest, LargeAndSlowAnswersAreCutOff) {
  std::string image, reason;
  std::string big = kPng + std::string(4096, 'x');
  // One answer announces its length, one just runs until the connection closes.
  std::string unannounced = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + big;
  OneShotHttpServer server({HttpAnswer("200 OK", "", big), unannounced, ""});
  IconDownloadLimits small{.timeout_ms = 15000, .max_bytes = 1024};
  EXPECT_FALSE(DownloadStoreIcon(server.Url("/big.png"), &image, &reason, small));
  EXPECT_FALSE(DownloadStoreIcon(server.Url("/stream.png"), &image, &reason, small));
  EXPECT_TRUE(image.empty());
  // The second connection is accepted and never answered.
  IconDownloadLimits quick{.timeout_ms = 300, .max_bytes = 1024};
  EXPECT_FALSE(DownloadStoreIcon(server.Url("/slow.png"), &image, &reason, quick));
}

}  // namespace
