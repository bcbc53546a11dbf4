// Opening and preparing with their result codes and log lines, the handles' release, and regexp.
#include "utility/db/sqlite_database.h"

#include <glog/logging.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <vector>

#include "utility/db/sqlite_regexp.h"

namespace {

namespace fs = std::filesystem;

class LogCapture : public google::LogSink {
 public:
  LogCapture() { google::AddLogSink(this); }
  ~LogCapture() override { google::RemoveLogSink(this); }
  void send(google::LogSeverity, const char*, const char*, int, const google::LogMessageTime&, const char* message,
            size_t length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(message, length);
  }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

class SqliteDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("corvane-db-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    path_ = (dir_ / "copy.sqlite").string();
    ASSERT_EQ(db_.Open(path_), kDbOk);
    ASSERT_EQ(sqlite3_exec(db_.handle(),
                           "CREATE TABLE t(name TEXT, size INTEGER, data BLOB);"
                           "INSERT INTO t VALUES('abc', 1, x'00ff'), (NULL, 5000000000, NULL);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  void TearDown() override {
    db_.Close();
    fs::remove_all(dir_);
  }

  // The value of a one-row query, or the error message SQLite gave.
  std::string Evaluate(const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.handle(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return "prepare failed";
    SqliteStatement statement;
    statement.Reset(raw);
    if (!statement.Step()) return std::string("error: ") + sqlite3_errmsg(db_.handle());
    return statement.Text(0);
  }

  fs::path dir_;
  std::string path_;
  SqliteDatabase db_;
};

TEST_F(SqliteDatabaseTest, FailuresGiveTheirCodesAndLogLines) {
  LogCapture log;
  SqliteDatabase missing;
  std::string nowhere = (dir_ / "no-such-folder" / "x.sqlite").string();
  EXPECT_EQ(missing.Open(nowhere), kDbCannotOpen);
  EXPECT_EQ(missing.Open(""), kDbCannotOpen);
  EXPECT_EQ(missing.handle(), nullptr);

  SqliteStatement statement;
  EXPECT_EQ(db_.Prepare("SELECT nothing FROM nowhere", " QueryMediaLibrary:", &statement), kDbBadStatement);
  EXPECT_EQ(db_.Prepare("SELEC 1", &statement), kDbBadStatement);
  EXPECT_EQ(statement.get(), nullptr);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                             "OPEN DB: " + nowhere + " RES: 14",
                             "OPEN DB:  RES: 14",
                             "OPEN STMT QueryMediaLibrary: SQL: SELECT nothing FROM nowhere RES: 1",
                             "OPEN STMT: " + path_ + " SQL: SELEC 1 RES: 1",
                         }));
}

TEST_F(SqliteDatabaseTest, RowsAreReadUntilTheStepsEndAndNullTextIsEmpty) {
  SqliteStatement statement;
  ASSERT_EQ(db_.Prepare("SELECT name, size, data FROM t WHERE size >= ? ORDER BY size", &statement), kDbOk);
  ASSERT_TRUE(statement.BindInt64(1, 1));
  ASSERT_TRUE(statement.Step());
  EXPECT_EQ(statement.Text(0), "abc");
  EXPECT_EQ(statement.Blob(2), std::string("\0\xff", 2));
  ASSERT_TRUE(statement.Step());
  EXPECT_EQ(statement.Text(0), "");
  EXPECT_EQ(statement.Int64(1), 5000000000);
  EXPECT_EQ(statement.Blob(2), "");
  EXPECT_FALSE(statement.Step());
}

TEST_F(SqliteDatabaseTest, StatementsAreFinalisedWhenTheirHandlesGo) {
  {
    SqliteStatement first, second;
    ASSERT_EQ(db_.Prepare("SELECT 1", &first), kDbOk);
    ASSERT_EQ(db_.Prepare("SELECT 2", &second), kDbOk);
    second = std::move(first);  // the statement second held is finalised here
    SqliteStatement third(std::move(second));
    EXPECT_NE(sqlite3_next_stmt(db_.handle(), nullptr), nullptr);
  }
  EXPECT_EQ(sqlite3_next_stmt(db_.handle(), nullptr), nullptr);  // none left open on the connection
}

TEST_F(SqliteDatabaseTest, RegexpSearchesAnywhereIgnoringTheCaseOfLetters) {
  ASSERT_EQ(RegisterRegexpFunction(db_.handle()), SQLITE_OK);
  EXPECT_EQ(Evaluate("SELECT 'abc' REGEXP 'B'"), "1");
  EXPECT_EQ(Evaluate("SELECT 'DCIM/100APPLE/IMG_0001.JPG' REGEXP 'img_[0-9]{4}\\.jpg$'"), "1");
  EXPECT_EQ(Evaluate("SELECT 'abc' REGEXP '^b'"), "0");
  EXPECT_EQ(Evaluate("SELECT count(*) FROM t WHERE coalesce(name, '-') REGEXP 'A.C'"), "1");
}

TEST_F(SqliteDatabaseTest, RegexpRefusesEmptyArgumentsAndBadPatternsAsErrors) {
  ASSERT_EQ(RegisterRegexpFunction(db_.handle()), SQLITE_OK);
  EXPECT_EQ(Evaluate("SELECT '' REGEXP 'a'"), "error: SQL function regexp() called with invalid arguments.\n");
  EXPECT_EQ(Evaluate("SELECT 'a' REGEXP ''"), "error: SQL function regexp() called with invalid arguments.\n");
  EXPECT_EQ(Evaluate("SELECT NULL REGEXP 'a'"), "error: SQL function regexp() called with invalid arguments.\n");
  EXPECT_EQ(Evaluate("SELECT 'a(' REGEXP '('").rfind("error: ", 0), 0u);
}

}  // namespace
