#include "utility/module/sms/sms_stream.h"

#include <glog/logging.h>

#include <functional>
#include <unordered_map>

#include "utility/module/sms/sms_conversations.h"
#include "utility/module/sms/sms_json.h"

namespace {

struct KeyHash {
  using is_transparent = void;
  size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
};

// Each conversation key's position in the sorted list, for the SQL function that orders the second pass.
struct ConversationRanks {
  SmsLayout layout = SmsLayout::kNone;
  std::unordered_map<std::string, int64_t, KeyHash, std::equal_to<>> by_key;
};

constexpr char kRankFunction[] = "corvane_sms_rank";

// corvane_sms_rank(key column): the key is derived from the column exactly as the first pass derived it (text, or
// in the old layout the decimal text of the address read as an integer).
void RankOfKey(sqlite3_context* context, int, sqlite3_value** values) {
  const auto* ranks = static_cast<const ConversationRanks*>(sqlite3_user_data(context));
  std::string number;
  std::string_view key;
  if (ranks->layout == SmsLayout::kOld) {
    number = std::to_string(sqlite3_value_int64(values[0]));
    key = number;
  } else if (const unsigned char* text = sqlite3_value_text(values[0])) {
    key = std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_value_bytes(values[0])));
  }
  auto it = ranks->by_key.find(key);
  sqlite3_result_int64(context, it == ranks->by_key.end() ? -1 : it->second);
}

std::string RegroupedSql(SmsLayout layout) {
  const char* key_column = layout == SmsLayout::kOld ? "m.address" : "c.chat_identifier";
  return SmsMessageRowsSql(layout) + " order by " + kRankFunction + "(" + key_column + "), m.date, m.rowid";
}

int PrepareRegrouped(SmsDatabase* db, const SmsConversationList& list, ConversationRanks* ranks,
                     std::unique_ptr<SmsStatement>* statement, std::string* sql) {
  ranks->layout = list.layout;
  for (size_t i = 0; i < list.conversations.size(); ++i) {
    ranks->by_key.emplace(list.conversations[i].key, static_cast<int64_t>(i));
  }
  sqlite3_create_function_v2(db->handle(), kRankFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, ranks, &RankOfKey,
                             nullptr, nullptr, nullptr);
  *sql = RegroupedSql(list.layout);
  return db->Prepare(*sql, statement);
}

int StreamRegrouped(SmsDatabase* db, const SmsConversationList& list, SmsStatement* statement,
                    const std::string& sql, SmsReportSink* sink) {
  SmsMessageRow row;
  bool have_row = statement->Step();
  for (const SmsConversation& conversation : list.conversations) {
    if (!sink->OnConversation(SmsConversationJson(conversation))) return kSmsStopped;
    for (size_t i = 0; i < conversation.message_count; ++i) {
      if (!have_row) {
        if (statement->failed()) return db->StepFailed(*statement, sql);
        LOG(ERROR) << "Messages of " << conversation.key << " in " << db->path() << " ended early";
        return kSmsBadStatement;
      }
      ReadSmsMessageRow(list.layout, *statement, /*whole=*/true, &row);
      if (row.key != conversation.key) {
        LOG(ERROR) << "Messages of " << conversation.key << " in " << db->path() << " met one of " << row.key;
        return kSmsBadStatement;
      }
      if (!sink->OnMessage(SmsMessageJson(conversation.key, row.message))) return kSmsStopped;
      have_row = statement->Step();
    }
  }
  return kSmsOk;
}

int StreamHeld(const SmsConversationList& list, SmsReportSink* sink) {
  for (const SmsConversation& conversation : list.conversations) {
    if (!sink->OnConversation(SmsConversationJson(conversation))) return kSmsStopped;
    for (const SmsMessage& message : conversation.messages) {
      if (!sink->OnMessage(SmsMessageJson(conversation.key, message))) return kSmsStopped;
    }
  }
  return kSmsOk;
}

}  // namespace

int StreamSmsDatabase(const std::string& path, SmsReportSink* sink) {
  SmsDatabase db;
  SmsConversationList list;
  int result = QuerySmsConversations(path, /*keep_messages=*/false, &db, &list);
  if (result == kSmsOk && !list.in_date_rowid_order) {
    LOG(INFO) << "Messages of " << path << " are not in order of date and row id; reading them into memory";
    result = ReadSmsConversations(&db, /*keep_messages=*/true, &list);
  }
  ConversationRanks ranks;  // outlives the statement that calls back into it
  std::unique_ptr<SmsStatement> regrouped;
  std::string sql;
  if (result == kSmsOk && list.in_date_rowid_order && !list.conversations.empty()) {
    result = PrepareRegrouped(&db, list, &ranks, &regrouped, &sql);
  }
  if (result != kSmsOk) {
    db.Close();
    sink->OnCount(0);
    return result;
  }
  if (!sink->OnCount(list.conversations.size())) return kSmsStopped;
  if (regrouped) return StreamRegrouped(&db, list, regrouped.get(), sql, sink);
  return StreamHeld(list, sink);
}
