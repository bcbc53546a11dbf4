#include "utility/module/app/app_icon_download.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/one_shot_http_server.h"

namespace {

using testing_support::HttpAnswer;
using testing_support::OneShotHttpServer;

const std::string kPng = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + "rest of the image";

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

TEST_F(IconDownloadTest, ImagesDownloadFromWebServers) {
  std::string image, reason;
  std::string jpeg("\xFF\xD8\xFF\xE0 jfif", 9);
  OneShotHttpServer server({HttpAnswer("200 OK", "", kPng), HttpAnswer("200 OK", "Content-Type: image/jpeg\r\n", jpeg)});
  ASSERT_TRUE(DownloadStoreIcon(server.Url("/icon57.png"), &image, &reason)) << reason;
  EXPECT_EQ(image, kPng);
  ASSERT_TRUE(DownloadStoreIcon(server.Url("/icon57.jpg"), &image, &reason)) << reason;
  EXPECT_EQ(image, jpeg);
}

TEST_F(IconDownloadTest, WhatIsNoImageIsNotHandedOn) {
  std::string image, reason;
  OneShotHttpServer server({HttpAnswer("200 OK", "", "<html>nope</html>"), HttpAnswer("404 Not Found", "", "")});
  EXPECT_FALSE(DownloadStoreIcon(server.Url("/page"), &image, &reason));
  EXPECT_FALSE(DownloadStoreIcon(server.Url("/missing.png"), &image, &reason));
  EXPECT_TRUE(image.empty());
}

TEST_F(IconDownloadTest, OtherSchemesAndLocalFilesAreRefused) {
  std::string image, reason;
  EXPECT_FALSE(DownloadStoreIcon("file://" + WriteFile("icon.png", kPng), &image, &reason));
  EXPECT_TRUE(image.empty());
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
