#include "backup/extract_scenario.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "backup/backup_scenario.h"
#include "harness/plugin_folder.h"

namespace e2e {

namespace fs = std::filesystem;

std::string FoldedDatabase(const std::string& folder, const std::string& name, const std::string& scratch) {
  fs::create_directories(scratch);
  for (const char* suffix : {"", "-wal", "-shm"}) {
    fs::copy_file(folder + "/" + name + suffix, scratch + "/" + name + suffix, fs::copy_options::overwrite_existing);
    fs::permissions(scratch + "/" + name + suffix, fs::perms::owner_read | fs::perms::owner_write);
  }
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open((scratch + "/" + name).c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  return ReadWholeFile(scratch + "/" + name);
}

int64_t CountRows(const std::string& path, const std::string& table) {
  sqlite3* db = nullptr;
  int64_t count = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, ("SELECT COUNT(*) FROM " + table).c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      count = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return count;
}

std::string MadeDatabase(const std::string& scratch, const std::string& sql) {
  fs::create_directories(scratch);
  static int serial = 0;
  std::string path = scratch + "/made-" + std::to_string(++serial) + ".sqlite";
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
  return ReadWholeFile(path);
}

std::vector<const rapidjson::Document*> ExtractRun::Items(const std::string& name) const {
  std::vector<const rapidjson::Document*> found;
  for (const rapidjson::Document& item : items) {
    if (item.IsObject() && item.HasMember("sub_command_type") && name == item["sub_command_type"].GetString()) {
      found.push_back(&item);
    }
  }
  return found;
}

int ExtractRun::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].IsObject() && items[i].HasMember("sub_command_type") &&
        name == items[i]["sub_command_type"].GetString()) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string ExtractJson(const std::string& udid, const std::string& types) {
  return R"({"uuid":")" + udid + R"(","info":{"types":)" + types + "}}";
}

ExtractRun CollectExtract(DeviceHarness& corvane, uint64_t task, std::optional<hostlink::Report> final) {
  ExtractRun run;
  run.final = std::move(final);
  run.reports = corvane.TakeReportsOf(task);
  for (const hostlink::Report& report : run.reports) {
    if (report.stage != 2) continue;
    rapidjson::Document item;
    item.Parse(report.data.c_str());
    EXPECT_FALSE(item.HasParseError()) << report.data;
    run.items.push_back(std::move(item));
  }
  return run;
}

ExtractRun RunExtract(DeviceHarness& corvane, uint64_t task, const std::string& json,
                      std::chrono::milliseconds timeout) {
  return CollectExtract(corvane, task, corvane.Run(task, 1608, json, {}, timeout));
}

void UseTestPlugin(DeviceHarness& corvane) {
  std::string folder = corvane.temp_dir() + "/plugins/TestPlugin";
  ASSERT_TRUE(AddPluginVersion(folder, "1.0"));
  corvane.params().load_modules = {folder};
}

}  // namespace e2e
