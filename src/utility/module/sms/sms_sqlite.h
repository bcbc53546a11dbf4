// SQLite access for the messages query: one read-only connection, its statements, and the one place where SQLite
// failures become the query's result codes and log lines.
//
// Result codes: 0 = success, 19 = the database cannot be opened, 20 = a statement cannot be prepared (or fails
// while it runs). Every failure is logged with the fixed texts the log readers look for ("OPEN DB: ",
// "OPEN STMT SQL: ", "OPEN STMT: ", " SQL: ", " RES: ").
//
// Thread safety: a connection and its statements belong to one thread at a time.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

#include "utility/db/read_only_open.h"

constexpr int kSmsOk = 0;
constexpr int kSmsCannotOpen = 19;
constexpr int kSmsBadStatement = 20;

class SmsStatement {
 public:
  explicit SmsStatement(sqlite3_stmt* statement) : statement_(statement) {}
  ~SmsStatement() { sqlite3_finalize(statement_); }
  SmsStatement(const SmsStatement&) = delete;
  SmsStatement& operator=(const SmsStatement&) = delete;

  // Advances to the next row: true on a row; false at the end or on a failure (then failed() is true).
  bool Step();
  bool failed() const { return last_code_ != SQLITE_ROW && last_code_ != SQLITE_DONE; }
  int last_code() const { return last_code_; }

  int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  // The column as text; NULL reads as "". Assigning into an existing string reuses its buffer.
  void Text(int column, std::string* text) const;
  std::string Text(int column) const;

  sqlite3_stmt* get() const { return statement_; }

 private:
  sqlite3_stmt* statement_;
  int last_code_ = SQLITE_OK;
};

class SmsDatabase {
 public:
  SmsDatabase() = default;
  ~SmsDatabase();
  SmsDatabase(const SmsDatabase&) = delete;
  SmsDatabase& operator=(const SmsDatabase&) = delete;

  // Opens the database at `path` read-only, leaving it, its companions and its folder as they are (see
  // utility/db/read_only_open.h). 0 or 19.
  int Open(const std::string& path);
  // Prepares one statement of the query. 0 or 20.
  int Prepare(const std::string& sql, std::unique_ptr<SmsStatement>* statement);
  // Whether a table of that name exists, asked the way the log readers expect. 0 or 20.
  int TableExists(const std::string& name, bool* exists);
  // A statement that failed while it ran. Always 20.
  int StepFailed(const SmsStatement& statement, const std::string& sql);
  // Closes the connection and removes a private copy, if one was made.
  void Close();

  sqlite3* handle() const { return db_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
  ReadOnlyOpenPlan plan_;
};
