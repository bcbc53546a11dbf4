// Message databases for the tests and the benchmark, built from SQL so that every case reads as the rows it holds.
//
// The chat layout follows the devices' databases in the tables and columns the query reads (with their keys and
// indexes); the old layout is the single "message" table with the correspondent's address on each row.
//
// Thread safety: pure functions, apart from the files they write.
#pragma once

#include <cstdint>
#include <string>

namespace sms_test {

extern const char kChatLayoutSchema[];
extern const char kOldLayoutSchema[];

// SQL text literal.
std::string Quote(const std::string& text);

std::string InsertChat(int64_t rowid, const std::string& chat_identifier);
// A chat whose chat_identifier is NULL.
std::string InsertChatWithoutIdentifier(int64_t rowid);
std::string InsertHandle(int64_t rowid, const std::string& address, const std::string& country = "us",
                         const std::string& service = "SMS");
std::string JoinChatHandle(int64_t chat_rowid, int64_t handle_rowid);
std::string JoinChatMessage(int64_t chat_rowid, int64_t message_rowid);

struct ChatMessage {
  int64_t rowid = 0;
  int64_t handle_id = 0;
  std::string date = "0";  // SQL value text, so that a test may store a real or a text date
  std::string text;
  int64_t date_read = 0;
  int64_t is_from_me = 0;
  int64_t is_read = 0;
  int64_t is_sent = 0;
  int64_t error = 0;
  std::string subject;
  std::string account = "e:owner@example.com";
  std::string account_guid = "4F9A2C10-0000-4000-8000-000000000001";
};
std::string InsertMessage(const ChatMessage& message);
// A chat-layout message: the message row and, when chat_rowid is not 0, its join row.
std::string InsertMessageIn(int64_t chat_rowid, const ChatMessage& message);

std::string InsertOldMessage(int64_t rowid, const std::string& address, int64_t date, const std::string& text,
                             int64_t flags = 2, int64_t read = 1, const std::string& subject = "");

// Rows for a chat-layout database (after kChatLayoutSchema) of `messages` messages spread evenly over
// `conversations` conversations, with texts of everyday length and words: one-to-one chats by phone number, every
// tenth a group of three where the owner's own messages have handle 0, every second correspondent known by SMS
// and iMessage (two handles, one address), dates in nanoseconds thirty seconds apart.
std::string SyntheticChatsSql(int64_t messages, int64_t conversations);

// Creates a database at `path` (which must not exist) from `sql`. False with `error` on any failure.
bool CreateDatabase(const std::string& path, const std::string& sql, std::string* error);

// Creates `folder`/sms.db, -wal and -shm the way a device leaves them: `base_sql` checkpointed into the database
// file, `wal_sql` only in the -wal. False with `error` on any failure.
bool CreateWalSnapshot(const std::string& folder, const std::string& base_sql, const std::string& wal_sql,
                       std::string* error);

}  // namespace sms_test
