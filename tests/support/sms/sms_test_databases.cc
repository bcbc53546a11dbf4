#include "support/sms/sms_test_databases.h"

#include <sqlite3.h>

#include <filesystem>

namespace sms_test {

const char kChatLayoutSchema[] = R"sql(
CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text TEXT,
  handle_id INTEGER DEFAULT 0, subject TEXT, service TEXT, account TEXT, account_guid TEXT, error INTEGER DEFAULT 0,
  date INTEGER, date_read INTEGER, date_delivered INTEGER, is_delivered INTEGER DEFAULT 0,
  is_from_me INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, is_sent INTEGER DEFAULT 0);
CREATE INDEX message_idx_date ON message(date);
CREATE INDEX message_idx_handle_id ON message(handle_id);
CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country TEXT,
  service TEXT NOT NULL, uncanonicalized_id TEXT, UNIQUE (id, service));
CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style INTEGER,
  state INTEGER, chat_identifier TEXT, service_name TEXT, display_name TEXT);
CREATE INDEX chat_idx_chat_identifier ON chat(chat_identifier);
CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE,
  message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, message_date INTEGER DEFAULT 0,
  PRIMARY KEY (chat_id, message_id));
CREATE INDEX chat_message_join_idx_message_id_only ON chat_message_join(message_id);
CREATE TABLE chat_handle_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE,
  handle_id INTEGER REFERENCES handle (ROWID) ON DELETE CASCADE, UNIQUE(chat_id, handle_id));
CREATE INDEX chat_handle_join_idx_handle_id ON chat_handle_join(handle_id);
)sql";

const char kOldLayoutSchema[] = R"sql(
CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, text TEXT,
  flags INTEGER, replace INTEGER, svc_center TEXT, group_id INTEGER, association_id INTEGER, height INTEGER,
  UIFlags INTEGER, version INTEGER, subject TEXT, country TEXT, headers BLOB, recipients BLOB, read INTEGER);
CREATE INDEX message_group_index ON message(group_id, ROWID);
)sql";

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

std::string InsertChat(int64_t rowid, const std::string& chat_identifier) {
  return "INSERT INTO chat (ROWID, guid, style, chat_identifier, service_name) VALUES (" + std::to_string(rowid) +
         ", 'chat-" + std::to_string(rowid) + "', 45, " + Quote(chat_identifier) + ", 'SMS');\n";
}

std::string InsertChatWithoutIdentifier(int64_t rowid) {
  return "INSERT INTO chat (ROWID, guid, style, chat_identifier) VALUES (" + std::to_string(rowid) + ", 'chat-" +
         std::to_string(rowid) + "', 43, NULL);\n";
}

std::string InsertHandle(int64_t rowid, const std::string& address, const std::string& country,
                         const std::string& service) {
  return "INSERT INTO handle (ROWID, id, country, service) VALUES (" + std::to_string(rowid) + ", " + Quote(address) +
         ", " + Quote(country) + ", " + Quote(service) + ");\n";
}

std::string JoinChatHandle(int64_t chat_rowid, int64_t handle_rowid) {
  return "INSERT INTO chat_handle_join (chat_id, handle_id) VALUES (" + std::to_string(chat_rowid) + ", " +
         std::to_string(handle_rowid) + ");\n";
}

std::string JoinChatMessage(int64_t chat_rowid, int64_t message_rowid) {
  return "INSERT INTO chat_message_join (chat_id, message_id) VALUES (" + std::to_string(chat_rowid) + ", " +
         std::to_string(message_rowid) + ");\n";
}

std::string InsertMessage(const ChatMessage& m) {
  return "INSERT INTO message (ROWID, guid, text, handle_id, subject, service, account, account_guid, error, date, "
         "date_read, is_from_me, is_read, is_sent) VALUES (" +
         std::to_string(m.rowid) + ", 'message-" + std::to_string(m.rowid) + "', " + Quote(m.text) + ", " +
         std::to_string(m.handle_id) + ", " + (m.subject.empty() ? "NULL" : Quote(m.subject)) + ", 'SMS', " +
         Quote(m.account) + ", " + Quote(m.account_guid) + ", " + std::to_string(m.error) + ", " + m.date + ", " +
         std::to_string(m.date_read) + ", " + std::to_string(m.is_from_me) + ", " + std::to_string(m.is_read) + ", " +
         std::to_string(m.is_sent) + ");\n";
}

std::string InsertMessageIn(int64_t chat_rowid, const ChatMessage& message) {
  std::string sql = InsertMessage(message);
  if (chat_rowid != 0) sql += JoinChatMessage(chat_rowid, message.rowid);
  return sql;
}

std::string InsertOldMessage(int64_t rowid, const std::string& address, int64_t date, const std::string& text,
                             int64_t flags, int64_t read, const std::string& subject) {
  return "INSERT INTO message (ROWID, address, date, text, flags, read, subject) VALUES (" + std::to_string(rowid) +
         ", " + Quote(address) + ", " + std::to_string(date) + ", " + Quote(text) + ", " + std::to_string(flags) +
         ", " + std::to_string(read) + ", " + (subject.empty() ? "NULL" : Quote(subject)) + ");\n";
}

std::string SyntheticChatsSql(int64_t messages, int64_t conversations) {
  const std::string m = std::to_string(messages);
  const std::string c = std::to_string(conversations);
  // Handles 1..C are the correspondents by SMS, C+1..2C the same addresses by iMessage.
  return R"sql(
CREATE TEMP TABLE words (i INTEGER PRIMARY KEY, t TEXT);
INSERT INTO temp.words (i, t) VALUES (0, 'Are we still on for dinner tonight?'), (1, 'On my way, ten minutes'),
  (2, 'Can you pick up milk and some bread on the way home'), (3, 'ok'), (4, 'Thanks!'),
  (5, 'Running late, the train is stuck outside the station again'), (6, 'Happy birthday!! Have a great day'),
  (7, 'Did you see the game last night? Unbelievable ending'), (8, 'Call me when you get a chance'),
  (9, 'Your verification code is 482913. Do not share it with anyone.'), (10, 'lol'),
  (11, 'I left the keys under the mat'), (12, 'Sounds good to me'), (13, 'What time does the meeting start tomorrow?'),
  (14, 'Sent you the photos from the weekend, some of them came out really nicely'), (15, 'See you soon');
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < )sql" +
         c + R"sql()
INSERT INTO handle (ROWID, id, country, service)
  SELECT i, '+1555' || printf('%07d', i), 'us', 'SMS' FROM n
  UNION ALL SELECT i + )sql" + c + R"sql(, '+1555' || printf('%07d', i), 'us', 'iMessage' FROM n WHERE i % 2 = 0;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < )sql" +
         c + R"sql()
INSERT INTO chat (ROWID, guid, style, state, chat_identifier, service_name)
  SELECT i, 'chat-' || i, CASE WHEN i % 10 = 0 THEN 43 ELSE 45 END, 3,
    CASE WHEN i % 10 = 0 THEN 'chat' || (900000000 + i) ELSE '+1555' || printf('%07d', i) END, 'SMS' FROM n;
INSERT INTO chat_handle_join (chat_id, handle_id) SELECT ROWID, ROWID FROM chat;
INSERT INTO chat_handle_join (chat_id, handle_id) SELECT ROWID, ROWID + )sql" +
         c + R"sql( FROM chat WHERE ROWID % 2 = 0;
INSERT INTO chat_handle_join (chat_id, handle_id)
  SELECT ROWID, (ROWID + 7) % )sql" + c + R"sql( + 1 FROM chat WHERE ROWID % 10 = 0;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < )sql" +
         m + R"sql(),
  placed(i, chat) AS (SELECT i, (i * 7) % )sql" + c + R"sql( + 1 FROM n)
INSERT INTO message (ROWID, guid, text, handle_id, service, account, account_guid, error, date, date_read, is_from_me,
    is_read, is_sent)
  SELECT i, printf('%08X-4A1B-4C2D-8E3F-%012d', i, i),
    (SELECT t FROM temp.words WHERE words.i = placed.i % 16) ||
      CASE WHEN i % 3 = 0 THEN ' ' || (SELECT t FROM temp.words WHERE words.i = (placed.i / 16) % 16) ELSE '' END,
    CASE WHEN chat % 10 = 0 AND i % 3 = 0 THEN 0 ELSE chat END, 'SMS', 'p:+15550000001',
    'E0B7E708-B720-4183-AB43-90A9CC7FDC61', 0, 600000000000000000 + i * 30000000000,
    CASE WHEN i % 3 = 0 THEN 0 ELSE 600000000000000000 + i * 30000000000 + 5000000000 END, i % 3 = 0, 1, i % 3 = 0
  FROM placed;
INSERT INTO chat_message_join (chat_id, message_id, message_date)
  SELECT (ROWID * 7) % )sql" + c + R"sql( + 1, ROWID, date FROM message;
)sql";
}

namespace {

bool Execute(sqlite3* db, const std::string& sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  *error = message != nullptr ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

}  // namespace

bool CreateDatabase(const std::string& path, const std::string& sql, std::string* error) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK;
  if (!ok) *error = "cannot create " + path;
  ok = ok && Execute(db, "BEGIN;\n" + sql + "COMMIT;\n", error);
  sqlite3_close(db);
  return ok;
}

bool CreateWalSnapshot(const std::string& folder, const std::string& base_sql, const std::string& wal_sql,
                       std::string* error) {
  namespace fs = std::filesystem;
  std::error_code fs_error;
  fs::path work = fs::path(folder) / "wal-source";
  fs::create_directories(work, fs_error);
  std::string source = (work / "sms.db").string();
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(source.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK;
  if (!ok) *error = "cannot create " + source;
  ok = ok && Execute(db, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;", error) &&
       Execute(db, "BEGIN;\n" + base_sql + "COMMIT;\n", error) && Execute(db, "PRAGMA wal_checkpoint(TRUNCATE);", error) &&
       Execute(db, "BEGIN;\n" + wal_sql + "COMMIT;\n", error);
  // Copied while the connection is open, as a device snapshot is: closing would move the -wal into the database.
  for (const char* suffix : {"", "-wal", "-shm"}) {
    if (!ok) break;
    fs::copy_file(source + suffix, fs::path(folder) / (std::string("sms.db") + suffix), fs_error);
    if (fs_error) {
      *error = fs_error.message();
      ok = false;
    }
  }
  sqlite3_close(db);
  fs::remove_all(work, fs_error);
  return ok;
}

}  // namespace sms_test
