#include "utility/module/photo/photo_query_test_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>

namespace photo_test {

std::string TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "photo_test_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "no temporary folder";
  return pattern;
}

std::string CopyRealLibrary(const std::string& version) {
  std::string folder = TempFolder();
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::filesystem::copy_file(std::string(CORVANE_PHOTO_FIXTURES) + "/" + version + "/Photos.sqlite" + suffix,
                               folder + "/Photos.sqlite" + suffix);
  }
  return folder + "/Photos.sqlite";
}

std::vector<std::vector<int64_t>> IntegerRows(const std::string& path, const std::string& sql) {
  std::vector<std::vector<int64_t>> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) ADD_FAILURE() << "cannot open " << path;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
  }
  while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
    std::vector<int64_t> row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) row.push_back(sqlite3_column_int64(statement, i));
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

int64_t Single(const std::string& path, const std::string& sql) {
  auto rows = IntegerRows(path, sql);
  return rows.empty() || rows[0].empty() ? -1 : rows[0][0];
}

}  // namespace photo_test
