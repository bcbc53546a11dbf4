#include "utility/module/sms/sms_conversations.h"

#include <glog/logging.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

// The select lists and joins; the double spaces belong to the statements as the log readers know them.
#define SMS_CHAT_MESSAGE_ROWS                                                                                    \
  "select c.rowid,c.chat_identifier,m.rowid,m.text,m.date_read,m.date,m.is_read,m.is_from_me,m.is_sent,m.error," \
  "m.handle_id,h.id,m.subject,m.account,m.account_guid from message m left join chat_message_join cmj on  "     \
  "m.rowid = cmj.message_id left join  chat c on  cmj.chat_id = c.rowid left join handle h on m.handle_id = "   \
  "h.rowid"
#define SMS_OLD_MESSAGE_ROWS "select m.address,m.rowid,m.text,0,m.date,m.read,m.flags,0,0,0,m.subject,'','' from message m"

const char kSmsChatMessagesSql[] = SMS_CHAT_MESSAGE_ROWS " order by m.date";
const char kSmsChatHandlesSql[] =
    "select c.rowid,c.chat_identifier,h.rowid,h.id,h.country,h.service from handle h left join chat_handle_join chj "
    "on h.rowid = chj.handle_id left join chat c on chj.chat_id = c.rowid";
const char kSmsOldMessagesSql[] = SMS_OLD_MESSAGE_ROWS " order by m.date";

namespace {

// In the old layout a message whose flags are 3 was sent by the device's owner.
constexpr int64_t kOldFlagsFromMe = 3;

using ConversationMap = std::unordered_map<std::string, SmsConversation>;

int DetectLayout(SmsDatabase* db, SmsLayout* layout) {
  const char* const kTables[] = {"message",          "handle",      "chat",         "chat_message_join",
                                 "chat_handle_join", "madrid_chat", "madrid_handle"};
  bool exists[std::size(kTables)] = {};
  for (size_t i = 0; i < std::size(kTables); ++i) {
    int result = db->TableExists(kTables[i], &exists[i]);
    if (result != kSmsOk) return result;
  }
  const bool message = exists[0], handle = exists[1], chat = exists[2], chat_message_join = exists[3],
             chat_handle_join = exists[4], madrid_chat = exists[5];
  if (!message) {
    *layout = SmsLayout::kNone;
  } else if (handle && chat && chat_message_join && chat_handle_join) {
    *layout = SmsLayout::kChats;
  } else if (madrid_chat) {
    *layout = SmsLayout::kNone;
  } else {
    *layout = SmsLayout::kOld;
  }
  return kSmsOk;
}

void AddMessage(SmsLayout layout, bool keep_messages, SmsMessageRow* row, SmsConversation* conversation) {
  SmsMessage& message = row->message;
  if (layout == SmsLayout::kChats && conversation->is_group == 0 && message.handle_id == 0) conversation->is_group = 1;
  if (conversation->message_count > 0 &&
      (message.date < conversation->date ||
       (message.date == conversation->date && message.rowid < conversation->last_message_rowid))) {
    conversation->in_date_rowid_order = false;
  }
  conversation->date = message.date;
  conversation->snippet = message.text;
  conversation->last_message_rowid = message.rowid;
  if (layout == SmsLayout::kOld) AddDisplayAddress(conversation->key, &conversation->display_phone);
  ++conversation->message_count;
  if (keep_messages) conversation->messages.push_back(std::move(message));
}

int ReadMessages(SmsDatabase* db, SmsLayout layout, bool keep_messages, ConversationMap* conversations) {
  const char* sql = layout == SmsLayout::kChats ? kSmsChatMessagesSql : kSmsOldMessagesSql;
  std::unique_ptr<SmsStatement> statement;
  int result = db->Prepare(sql, &statement);
  if (result != kSmsOk) return result;
  SmsMessageRow row;
  std::unordered_set<int64_t> seen_chats;
  while (statement->Step()) {
    ReadSmsMessageRow(layout, *statement, keep_messages, &row);
    auto [it, created] = conversations->try_emplace(row.key);
    SmsConversation& conversation = it->second;
    if (created) {
      conversation.key = row.key;
      conversation.rowid = row.chat_rowid;
    }
    if (layout == SmsLayout::kChats) {
      if (!row.has_chat) {
        conversation.has_rows_without_chat = true;
      } else if (seen_chats.insert(row.chat_rowid).second) {
        conversation.chat_rowids.push_back(row.chat_rowid);
      }
    }
    AddMessage(layout, keep_messages, &row, &conversation);
  }
  if (statement->failed()) return db->StepFailed(*statement, sql);
  return kSmsOk;
}

int ReadCorrespondents(SmsDatabase* db, ConversationMap* conversations) {
  std::unique_ptr<SmsStatement> statement;
  int result = db->Prepare(kSmsChatHandlesSql, &statement);
  if (result != kSmsOk) return result;
  std::string key;
  while (statement->Step()) {
    statement->Text(1, &key);
    auto it = conversations->find(key);
    if (it == conversations->end()) continue;
    SmsCorrespondent correspondent;
    correspondent.chat_rowid = statement->Int(0);
    correspondent.handle_rowid = statement->Int(2);
    statement->Text(3, &correspondent.address);
    statement->Text(4, &correspondent.country);
    statement->Text(5, &correspondent.service);
    AddDisplayAddress(correspondent.address, &it->second.display_phone);
    it->second.correspondents.push_back(std::move(correspondent));
  }
  if (statement->failed()) return db->StepFailed(*statement, kSmsChatHandlesSql);
  return kSmsOk;
}

}  // namespace

std::string SmsMessageRowsSql(SmsLayout layout) {
  return layout == SmsLayout::kChats ? SMS_CHAT_MESSAGE_ROWS : SMS_OLD_MESSAGE_ROWS;
}

void AddDisplayAddress(const std::string& address, std::string* display_phone) {
  if (address.empty()) return;
  for (size_t at = display_phone->find(address); at != std::string::npos; at = display_phone->find(address, at + 1)) {
    size_t end = at + address.size();
    bool starts_entry = at == 0 || (*display_phone)[at - 1] == ',';
    bool ends_entry = end < display_phone->size() && (*display_phone)[end] == ',';
    if (starts_entry && ends_entry) return;
  }
  display_phone->append(address).append(",");
}

void ReadSmsMessageRow(SmsLayout layout, const SmsStatement& statement, bool whole, SmsMessageRow* row) {
  SmsMessage& message = row->message;
  if (layout == SmsLayout::kOld) {
    int64_t address = statement.Int(0);
    row->key = std::to_string(address);
    row->chat_rowid = address;
    message.rowid = statement.Int(1);
    statement.Text(2, &message.text);
    message.date = statement.Int(4);
    if (!whole) return;
    message.is_read = statement.Int(5);
    message.is_from_me = statement.Int(6) == kOldFlagsFromMe ? 1 : 0;
    statement.Text(10, &message.subject);
    // The old layout has no read date, delivery state, handle or account.
    message.date_read = message.is_sent = message.error = message.handle_id = 0;
    message.address.clear();
    message.account.clear();
    message.account_guid.clear();
    return;
  }
  row->chat_rowid = statement.Int(0);
  row->has_chat = sqlite3_column_type(statement.get(), 0) != SQLITE_NULL;
  statement.Text(1, &row->key);
  message.rowid = statement.Int(2);
  statement.Text(3, &message.text);
  message.date = statement.Int(5);
  message.handle_id = statement.Int(10);
  if (!whole) return;
  message.date_read = statement.Int(4);
  message.is_read = statement.Int(6);
  message.is_from_me = statement.Int(7);
  message.is_sent = statement.Int(8);
  message.error = statement.Int(9);
  statement.Text(11, &message.address);
  statement.Text(12, &message.subject);
  statement.Text(13, &message.account);
  statement.Text(14, &message.account_guid);
}

int ReadSmsConversations(SmsDatabase* db, bool keep_messages, SmsConversationList* list) {
  *list = SmsConversationList();
  int result = DetectLayout(db, &list->layout);
  if (result != kSmsOk || list->layout == SmsLayout::kNone) return result;
  ConversationMap conversations;
  result = ReadMessages(db, list->layout, keep_messages, &conversations);
  if (result == kSmsOk && list->layout == SmsLayout::kChats) result = ReadCorrespondents(db, &conversations);
  if (result != kSmsOk) return result;

  list->conversations.reserve(conversations.size());
  for (auto& [key, conversation] : conversations) {
    list->in_date_rowid_order = list->in_date_rowid_order && conversation.in_date_rowid_order;
    list->conversations.push_back(std::move(conversation));
  }
  // Newest first; equal dates in key order, as if the key-ordered collection had been sorted stably.
  std::sort(list->conversations.begin(), list->conversations.end(),
            [](const SmsConversation& a, const SmsConversation& b) {
              return a.date != b.date ? a.date > b.date : a.key < b.key;
            });
  return kSmsOk;
}

int QuerySmsConversations(const std::string& path, bool keep_messages, SmsDatabase* db, SmsConversationList* list) {
  LOG(INFO) << "QuerySmsDb2:" << path;
  int result = db->Open(path);
  if (result != kSmsOk) return result;
  std::unique_ptr<SmsStatement> begin;
  result = db->Prepare("BEGIN", &begin);
  if (result != kSmsOk) return result;
  if (!begin->Step() && begin->failed()) return db->StepFailed(*begin, "BEGIN");
  return ReadSmsConversations(db, keep_messages, list);
}
