#include "utility/module/sms/sms_sqlite.h"

#include <glog/logging.h>

namespace {

enum class SqliteFailure { kOpen, kProbe, kPrepare, kStep };

// The one translation of SQLite failures into the query's result codes, with their log lines.
int TranslateFailure(SqliteFailure failure, int code, const std::string& path, const std::string& sql) {
  switch (failure) {
    case SqliteFailure::kOpen:
      LOG(ERROR) << "OPEN DB: " << path << " RES: " << code;
      return kSmsCannotOpen;
    case SqliteFailure::kProbe:
      LOG(ERROR) << "OPEN STMT SQL: " << sql << " RES: " << code;
      return kSmsBadStatement;
    case SqliteFailure::kPrepare:
      LOG(ERROR) << "OPEN STMT: " << path << " SQL: " << sql << " RES: " << code;
      return kSmsBadStatement;
    case SqliteFailure::kStep:
      LOG(ERROR) << "STEP STMT: " << path << " SQL: " << sql << " RES: " << code;
      return kSmsBadStatement;
  }
  return kSmsBadStatement;
}

}  // namespace

bool SmsStatement::Step() {
  last_code_ = sqlite3_step(statement_);
  return last_code_ == SQLITE_ROW;
}

void SmsStatement::Text(int column, std::string* text) const {
  const unsigned char* bytes = sqlite3_column_text(statement_, column);
  if (bytes == nullptr) {
    text->clear();
    return;
  }
  text->assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

std::string SmsStatement::Text(int column) const {
  std::string text;
  Text(column, &text);
  return text;
}

SmsDatabase::~SmsDatabase() { Close(); }

int SmsDatabase::Open(const std::string& path) {
  Close();
  path_ = path;
  if (path.empty()) return TranslateFailure(SqliteFailure::kOpen, SQLITE_CANTOPEN, path, "");
  std::string error;
  if (!PlanReadOnlyOpen(path, &plan_, &error)) {
    LOG(ERROR) << "Messages database " << path << ": " << error;
    return TranslateFailure(SqliteFailure::kOpen, SQLITE_CANTOPEN, path, "");
  }
  int code = sqlite3_open_v2(plan_.uri.c_str(), &db_, plan_.flags, nullptr);
  if (code != SQLITE_OK) {
    Close();
    return TranslateFailure(SqliteFailure::kOpen, code, path, "");
  }
  // Every message row looks up its join row, chat and handle; with SQLite's default 2 MiB of cache those pages
  // are read from the file again and again. A fixed 16 MiB holds the small tables and the indexes' upper levels.
  sqlite3_exec(db_, "PRAGMA cache_size=-16384", nullptr, nullptr, nullptr);
  return kSmsOk;
}

int SmsDatabase::Prepare(const std::string& sql, std::unique_ptr<SmsStatement>* statement) {
  sqlite3_stmt* raw = nullptr;
  int code = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
  if (code != SQLITE_OK) {
    sqlite3_finalize(raw);
    return TranslateFailure(SqliteFailure::kPrepare, code, path_, sql);
  }
  *statement = std::make_unique<SmsStatement>(raw);
  return kSmsOk;
}

int SmsDatabase::TableExists(const std::string& name, bool* exists) {
  std::string sql = "SELECT sql FROM sqlite_master WHERE type=\"table\" AND name ='" + name + "'";
  sqlite3_stmt* raw = nullptr;
  int code = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
  if (code != SQLITE_OK) {
    sqlite3_finalize(raw);
    return TranslateFailure(SqliteFailure::kProbe, code, path_, sql);
  }
  SmsStatement probe(raw);
  *exists = probe.Step();
  if (probe.failed()) return TranslateFailure(SqliteFailure::kStep, probe.last_code(), path_, sql);
  return kSmsOk;
}

int SmsDatabase::StepFailed(const SmsStatement& statement, const std::string& sql) {
  return TranslateFailure(SqliteFailure::kStep, statement.last_code(), path_, sql);
}

void SmsDatabase::Close() {
  if (db_ != nullptr) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  RemovePrivateCopy(&plan_);
}
