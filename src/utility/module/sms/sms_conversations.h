// Reads the conversations of an open message database: which layout it has, the messages statement, the
// correspondents statement, and the ordering of the result.
//
// Layouts: the chat layout has the tables "handle", "chat", "chat_message_join" and "chat_handle_join" beside
// "message"; the old layout has only "message", whose rows carry the correspondent's address. A database without
// "message", or an old-layout one with "madrid_chat", has no conversations.
//
// The conversations are collected in key order (byte order of the keys) and then sorted by date, newest first;
// conversations with equal dates stay in key order.
//
// Thread safety: each call works on its own database connection and records.
#pragma once

#include <string>
#include <vector>

#include "utility/module/sms/sms_records.h"
#include "utility/module/sms/sms_sqlite.h"

enum class SmsLayout { kNone, kChats, kOld };

struct SmsConversationList {
  SmsLayout layout = SmsLayout::kNone;
  std::vector<SmsConversation> conversations;  // newest first
  // True when every conversation's messages came in order of (date, row id); see SmsConversation.
  bool in_date_rowid_order = true;
};

// The statements, exactly as the log readers know them.
extern const char kSmsChatMessagesSql[];
extern const char kSmsChatHandlesSql[];
extern const char kSmsOldMessagesSql[];

// The select list and joins of the messages statement of `layout`, without its ordering, for a statement that
// orders the same rows differently.
std::string SmsMessageRowsSql(SmsLayout layout);

// One row of a messages statement: the conversation it belongs to and the message.
struct SmsMessageRow {
  std::string key;
  int64_t chat_rowid = 0;
  bool has_chat = false;  // chat layout: whether the row joined a chat row
  SmsMessage message;
};

// Reads the current row of a messages statement of `layout`. Without `whole`, only the columns a conversation
// summary needs (key, chat row id, message row id, text, date, handle id) are read.
void ReadSmsMessageRow(SmsLayout layout, const SmsStatement& statement, bool whole, SmsMessageRow* row);

// The whole query up to the result: logs it, opens `path` into `db`, starts one read transaction (so that later
// statements on `db` see the same rows) and reads the conversations. 0, 19 or 20.
int QuerySmsConversations(const std::string& path, bool keep_messages, SmsDatabase* db, SmsConversationList* list);

// Reads every conversation of `db`. With `keep_messages` each conversation holds its messages; without, only the
// summary (counts, date, snippet, group flag), which needs memory per conversation, not per message. 0 or 20.
int ReadSmsConversations(SmsDatabase* db, bool keep_messages, SmsConversationList* list);
