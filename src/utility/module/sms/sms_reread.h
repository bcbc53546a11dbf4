// Reading the messages a second time, grouped by conversation, after the first pass has summarised them.
//
// Two ways, both giving each conversation's messages in order of (date, row id) from the same joins as the
// messages statement:
//  - by conversation: one statement run per conversation, selecting the rows of its chat rows (and, for the empty
//    key, the rows without a chat row). Each run sorts only its own conversation, so the first message goes out
//    as soon as the first pass ends. It is taken when SQLite finds a chat's join rows through an index on
//    chat_message_join that starts with chat_id, which the devices' databases have (their primary key).
//  - by sorting: one statement over every row, ordered by the conversation's position in the sorted list, date
//    and row id; SQLite sorts all rows first, in bounded memory, spilling to its temporary files. It works on
//    either layout and any indexes.
//
// Thread safety: each call works on its own connection.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "utility/module/sms/sms_conversations.h"
#include "utility/module/sms/sms_stream.h"

// The second reading of one database. Prepare chooses the way and prepares its statements (so that a failure
// shows before anything was sent); Send then sends each conversation of the list, in order, followed by its
// messages.
class SmsReread {
 public:
  SmsReread(SmsDatabase* db, const SmsConversationList* list) : db_(db), list_(list) {}
  SmsReread(const SmsReread&) = delete;
  SmsReread& operator=(const SmsReread&) = delete;

  // 0 or 20.
  int Prepare();
  // 0, 20 or kSmsStopped.
  int Send(SmsReportSink* sink);

  bool by_conversation() const { return by_conversation_; }

 private:
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
  };
  using Ranks = std::unordered_map<std::string, int64_t, KeyHash, std::equal_to<>>;

  bool SearchesJoinRowsByChat();
  int SendByConversation(SmsReportSink* sink);
  int SendBySorting(SmsReportSink* sink);
  int SendMessagesOf(const SmsConversation& conversation, SmsStatement* statement, const std::string& sql,
                     bool* have_row, SmsReportSink* sink);
  static void RankOfKey(sqlite3_context* context, int count, sqlite3_value** values);

  SmsDatabase* const db_;
  const SmsConversationList* const list_;
  bool by_conversation_ = false;
  // By conversation: the rows of a list of chat rows, and the same with the rows that have no chat row.
  std::string of_chats_sql_, of_chats_or_none_sql_;
  std::unique_ptr<SmsStatement> of_chats_, of_chats_or_none_;
  // By sorting: each key's position in the list, for the SQL function that orders the rows.
  std::string sorted_sql_;
  Ranks ranks_;
  std::unique_ptr<SmsStatement> sorted_;
  SmsMessageRow row_;
};
