#include "utility/db/sqlite_database.h"

#include <glog/logging.h>

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    Reset(other.statement_);
    other.statement_ = nullptr;
  }
  return *this;
}

void SqliteStatement::Reset(sqlite3_stmt* statement) {
  if (statement_ != nullptr) sqlite3_finalize(statement_);
  statement_ = statement;
}

std::string SqliteStatement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(statement_, column);
  if (text == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

std::string_view SqliteStatement::Blob(int column) const {
  const void* bytes = sqlite3_column_blob(statement_, column);
  if (bytes == nullptr) return std::string_view();
  return std::string_view(static_cast<const char*>(bytes), static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

int SqliteDatabase::Open(const std::string& path) {
  Close();
  path_ = path;
  return OpenWith(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

int SqliteDatabase::OpenHostFile(const std::string& path) {
  Close();
  path_ = path;
  std::string error;
  if (!path.empty() && !PlanReadOnlyOpen(path, &plan_, &error)) {
    LOG(ERROR) << "Database " << path << ": " << error;
    LOG(ERROR) << "OPEN DB: " << path << " RES: " << SQLITE_CANTOPEN;
    return kDbCannotOpen;
  }
  return OpenWith(plan_.uri, plan_.flags);
}

int SqliteDatabase::OpenWith(const std::string& name, int flags) {
  int code = name.empty() ? SQLITE_CANTOPEN : sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
  if (code == SQLITE_OK) return kDbOk;
  LOG(ERROR) << "OPEN DB: " << path_ << " RES: " << code;
  Close();
  return kDbCannotOpen;
}

int SqliteDatabase::TryPrepare(std::string_view sql, SqliteStatement* statement) {
  sqlite3_stmt* raw = nullptr;
  int code = db_ == nullptr ? SQLITE_MISUSE
                            : sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
  if (code == SQLITE_OK && raw == nullptr) code = SQLITE_EMPTY;  // no statement in the text
  if (code != SQLITE_OK) {
    sqlite3_finalize(raw);
    return code;
  }
  statement->Reset(raw);
  return SQLITE_OK;
}

int SqliteDatabase::Prepare(std::string_view sql, std::string_view label, SqliteStatement* statement) {
  int code = TryPrepare(sql, statement);
  if (code != SQLITE_OK) {
    LOG(ERROR) << "OPEN STMT" << label << " SQL: " << sql << " RES: " << code;
    return kDbBadStatement;
  }
  return kDbOk;
}

int SqliteDatabase::Prepare(std::string_view sql, SqliteStatement* statement) {
  return Prepare(sql, ": " + path_, statement);
}

void SqliteDatabase::Close() {
  if (db_ != nullptr) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  RemovePrivateCopy(&plan_);
}
