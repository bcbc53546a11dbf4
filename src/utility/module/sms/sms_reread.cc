#include "utility/module/sms/sms_reread.h"

#include <glog/logging.h>

#include "utility/module/sms/sms_json.h"

namespace {

constexpr char kRankFunction[] = "corvane_sms_rank";

// The chat row ids of a conversation as a JSON array, for json_each.
std::string RowidArray(const std::vector<int64_t>& rowids) {
  std::string array = "[";
  for (int64_t rowid : rowids) array += (array.size() > 1 ? "," : "") + std::to_string(rowid);
  return array + "]";
}

}  // namespace

int SmsReread::Prepare() {
  if (list_->layout == SmsLayout::kChats) {
    // The chat rows of a conversation. The join condition repeated in the filter lets SQLite treat the joins as
    // inner ones and start from the chat rows' join rows, instead of from every message.
    const std::string rows = SmsMessageRowsSql(SmsLayout::kChats);
    const char* kOfChats = "(cmj.chat_id in (select value from json_each(?1)) and cmj.chat_id = c.rowid)";
    of_chats_sql_ = rows + " where " + kOfChats + " order by m.date, m.rowid";
    of_chats_or_none_sql_ = rows + " where c.rowid is null or " + kOfChats + " order by m.date, m.rowid";
    if (SearchesJoinRowsByChat()) {
      by_conversation_ = true;
      int result = db_->Prepare(of_chats_sql_, &of_chats_);
      return result == kSmsOk ? db_->Prepare(of_chats_or_none_sql_, &of_chats_or_none_) : result;
    }
  }
  for (size_t i = 0; i < list_->conversations.size(); ++i) {
    ranks_.emplace(list_->conversations[i].key, static_cast<int64_t>(i));
  }
  sqlite3_create_function_v2(db_->handle(), kRankFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, this, &RankOfKey,
                             nullptr, nullptr, nullptr);
  const char* key_column = list_->layout == SmsLayout::kOld ? "m.address" : "c.chat_identifier";
  sorted_sql_ =
      SmsMessageRowsSql(list_->layout) + " order by " + kRankFunction + "(" + key_column + "), m.date, m.rowid";
  return db_->Prepare(sorted_sql_, &sorted_);
}

int SmsReread::Send(SmsReportSink* sink) { return by_conversation_ ? SendByConversation(sink) : SendBySorting(sink); }

// Reading by conversation pays only when SQLite finds a conversation's join rows through an index; otherwise each
// conversation would cost a pass over every message. The plan's wording may change between SQLite versions, which
// then only means the sorting way is taken.
bool SmsReread::SearchesJoinRowsByChat() {
  std::unique_ptr<SmsStatement> plan;
  if (db_->Prepare("EXPLAIN QUERY PLAN " + of_chats_sql_, &plan) != kSmsOk) return false;
  std::string detail;
  while (plan->Step()) {
    plan->Text(3, &detail);
    if (detail.rfind("SEARCH cmj ", 0) == 0 && detail.find("(chat_id=?)") != std::string::npos) return true;
  }
  return false;
}

int SmsReread::SendByConversation(SmsReportSink* sink) {
  for (const SmsConversation& conversation : list_->conversations) {
    if (!sink->OnConversation(SmsConversationJson(conversation))) return kSmsStopped;
    bool with_unjoined = conversation.has_rows_without_chat;
    SmsStatement* statement = with_unjoined ? of_chats_or_none_.get() : of_chats_.get();
    sqlite3_reset(statement->get());
    std::string rowids = RowidArray(conversation.chat_rowids);
    sqlite3_bind_text(statement->get(), 1, rowids.data(), static_cast<int>(rowids.size()), SQLITE_TRANSIENT);
    bool have_row = statement->Step();
    int result =
        SendMessagesOf(conversation, statement, with_unjoined ? of_chats_or_none_sql_ : of_chats_sql_, &have_row, sink);
    if (result != kSmsOk) return result;
  }
  return kSmsOk;
}

int SmsReread::SendBySorting(SmsReportSink* sink) {
  bool have_row = sorted_->Step();
  for (const SmsConversation& conversation : list_->conversations) {
    if (!sink->OnConversation(SmsConversationJson(conversation))) return kSmsStopped;
    int result = SendMessagesOf(conversation, sorted_.get(), sorted_sql_, &have_row, sink);
    if (result != kSmsOk) return result;
  }
  return kSmsOk;
}

// Sends the messages of `conversation` that `statement` yields, checking that they are the ones the first pass
// counted for it.
int SmsReread::SendMessagesOf(const SmsConversation& conversation, SmsStatement* statement, const std::string& sql,
                              bool* have_row, SmsReportSink* sink) {
  for (size_t i = 0; i < conversation.message_count; ++i) {
    if (!*have_row) {
      if (statement->failed()) return db_->StepFailed(*statement, sql);
      LOG(ERROR) << "Messages of " << conversation.key << " in " << db_->path() << " ended early";
      return kSmsBadStatement;
    }
    ReadSmsMessageRow(list_->layout, *statement, /*whole=*/true, &row_);
    if (row_.key != conversation.key) {
      LOG(ERROR) << "Messages of " << conversation.key << " in " << db_->path() << " met one of " << row_.key;
      return kSmsBadStatement;
    }
    if (!sink->OnMessage(SmsMessageJson(conversation.key, row_.message))) return kSmsStopped;
    *have_row = statement->Step();
  }
  return kSmsOk;
}

// corvane_sms_rank(key column): the key is derived from the column exactly as the first pass derived it (text, or
// in the old layout the decimal text of the address read as an integer).
void SmsReread::RankOfKey(sqlite3_context* context, int, sqlite3_value** values) {
  const auto* reread = static_cast<const SmsReread*>(sqlite3_user_data(context));
  std::string number;
  std::string_view key;
  if (reread->list_->layout == SmsLayout::kOld) {
    number = std::to_string(sqlite3_value_int64(values[0]));
    key = number;
  } else if (const unsigned char* text = sqlite3_value_text(values[0])) {
    key = std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_value_bytes(values[0])));
  }
  auto it = reread->ranks_.find(key);
  sqlite3_result_int64(context, it == reread->ranks_.end() ? -1 : it->second);
}
