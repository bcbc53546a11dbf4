// SQLite access for the queries over device database copies: a connection and its statements as owned handles,
// and the one place where an open or prepare failure becomes a result code and its log line.
//
//   open failure     19, logged "OPEN DB: <path> RES: <code>"
//   prepare failure  20, logged "OPEN STMT<label> SQL: <sql> RES: <code>"; the label names the query
//                    (" QueryMediaLibrary:") or, in the bare form, is ": <path>" (StatementLabelOf)
//
// A local copy is opened with SQLite's default open (read-write, created when missing) and no busy time-out:
// nobody else uses the copy. A host's own file is opened with OpenHostFile, which leaves it untouched (see
// read_only_open.h). Rows are read until a step returns anything but a row; that counts as the end of the rows,
// not as an error. A NULL text column reads as "".
//
// Thread safety: a connection and its statements belong to one thread at a time; different connections to the
// same file may run on different threads.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "utility/db/read_only_open.h"

inline constexpr int kDbOk = 0;
inline constexpr int kDbCannotOpen = 19;
inline constexpr int kDbBadStatement = 20;

class SqliteStatement {
 public:
  SqliteStatement() = default;
  ~SqliteStatement() { Reset(nullptr); }
  SqliteStatement(SqliteStatement&& other) noexcept : statement_(other.statement_) { other.statement_ = nullptr; }
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // True on a row; false at the end of the rows or on any failure.
  bool Step() { return sqlite3_step(statement_) == SQLITE_ROW; }
  bool BindInt64(int index, int64_t value) { return sqlite3_bind_int64(statement_, index, value) == SQLITE_OK; }

  int Int(int column) const { return sqlite3_column_int(statement_, column); }
  int64_t Int64(int column) const { return sqlite3_column_int64(statement_, column); }
  double Double(int column) const { return sqlite3_column_double(statement_, column); }
  std::string Text(int column) const;
  std::string_view Blob(int column) const;

  sqlite3_stmt* get() const { return statement_; }
  // Finalises the statement held and takes `statement`.
  void Reset(sqlite3_stmt* statement);

 private:
  sqlite3_stmt* statement_ = nullptr;
};

class SqliteDatabase {
 public:
  SqliteDatabase() = default;
  ~SqliteDatabase() { Close(); }
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // A local copy (a snapshot). 0 or 19; an empty path is 19 (SQLite would open a private temporary database).
  int Open(const std::string& path);
  // A file that belongs to the host: no byte of it, its companions or its folder changes. 0 or 19.
  int OpenHostFile(const std::string& path);
  // 0 or 20. `label` follows "OPEN STMT" in the failure's log line.
  int Prepare(std::string_view sql, std::string_view label, SqliteStatement* statement);
  // The bare form: the label is ": " + the database's path.
  int Prepare(std::string_view sql, SqliteStatement* statement);
  // Prepares without a log line and returns SQLite's own code: for a text that has a fallback, whose caller
  // logs the miss its own way.
  int TryPrepare(std::string_view sql, SqliteStatement* statement);
  // Closes the connection (statements must be gone) and removes a private copy, if one was made.
  void Close();

  sqlite3* handle() const { return db_; }
  const std::string& path() const { return path_; }

 private:
  int OpenWith(const std::string& name, int flags);

  std::string path_;
  sqlite3* db_ = nullptr;
  ReadOnlyOpenPlan plan_;
};
