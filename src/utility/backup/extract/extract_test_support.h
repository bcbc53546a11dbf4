// Shared by the extraction unit tests: a temporary folder, a registry whose reports and plug-in requests the test
// sees, and small SQLite files.
#pragma once

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "utility/backup/extract/extract_registry.h"

namespace backup_extract {

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("extract_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_ / "written");
    registry_ = std::make_unique<ZEBBackupExtractRegistry>(
        "udid-1", (folder_ / "kept").string() + "/",
        [this](const std::string& text) {
          rapidjson::Document report;
          report.Parse(text.c_str());
          EXPECT_FALSE(report.HasParseError()) << text;
          reports_.push_back(std::move(report));
        },
        [this](const std::string& name, const std::string& request) -> std::optional<std::string> {
          requests_.emplace_back(name, request);
          auto reply = replies_.find(name);
          if (reply == replies_.end()) return std::nullopt;
          return reply->second;
        });
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // A file the backup wrote, as the upload hooks see it: written, then announced.
  std::string Upload(const std::string& name, const std::string& content) {
    std::string path = (folder_ / "written" / name).string();
    std::ofstream(path, std::ios::binary) << content;
    UploadHooks hooks = registry_->MakeUploadHooks();
    if (hooks.wanted(path)) hooks.written("/device/" + name, path);
    return path;
  }
  // The upload of a file nobody wants: only asked about.
  bool Offer(const std::string& name) { return registry_->MakeUploadHooks().wanted("/x/Snapshot/" + name); }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  std::string Database(const std::string& name, const std::string& sql) {
    std::string path = Path(name);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
    return path;
  }
  std::string FileContent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  const rapidjson::Document* ReportOf(const std::string& sub_command) const {
    for (const rapidjson::Document& report : reports_) {
      if (report.IsObject() && report.HasMember("sub_command_type") &&
          sub_command == report["sub_command_type"].GetString()) {
        return &report;
      }
    }
    return nullptr;
  }

  std::filesystem::path folder_;
  std::unique_ptr<ZEBBackupExtractRegistry> registry_;
  std::vector<rapidjson::Document> reports_;
  std::vector<std::pair<std::string, std::string>> requests_;
  std::map<std::string, std::string> replies_;
};

}  // namespace backup_extract
