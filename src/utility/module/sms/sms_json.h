// The JSON of conversations and messages, as the host and plug-ins receive it.
//
// One set of emitters writes every object, member by member, into any RapidJSON handler: a Writer for the compact
// texts of the host's reports, or a Document (through Populate) for the plug-ins' one-document result. So both
// forms have the same members in the same order:
//   conversation: "id" (row id as text), "chat_id", "snippet", "display_phone" (without its last ","),
//                 "is_group", "date", "date_str", "handles", "message_count", then "messages" when asked for;
//   correspondent: "id", "chat_rowid", "chat_id", "service", "country", "handle_id_phone";
//   message: "id", "chat_id", "text", "date", "date_str", "date_read", "date_read_str", "is_from_me", "is_read",
//            "is_sent", "error", "handle_id", "handle_id_phone", "subject", "account_guid", "account".
//
// Thread safety: pure functions.
#pragma once

#include <rapidjson/document.h>

#include <string>
#include <string_view>

#include "utility/module/sms/sms_date_text.h"
#include "utility/module/sms/sms_records.h"

namespace sms_json_internal {

template <class Handler>
void Text(Handler& out, std::string_view name, std::string_view value) {
  out.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()), true);
  out.String(value.data(), static_cast<rapidjson::SizeType>(value.size()), true);
}

template <class Handler>
void Integer(Handler& out, std::string_view name, int64_t value) {
  out.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()), true);
  out.Int64(value);
}

inline std::string_view WithoutLastComma(std::string_view text) {
  if (!text.empty() && text.back() == ',') text.remove_suffix(1);
  return text;
}

}  // namespace sms_json_internal

template <class Handler>
void EmitSmsMessage(Handler& out, const std::string& key, const SmsMessage& message) {
  using namespace sms_json_internal;
  out.StartObject();
  Integer(out, "id", message.rowid);
  Text(out, "chat_id", key);
  Text(out, "text", message.text);
  Integer(out, "date", message.date);
  Text(out, "date_str", SmsDateText(message.date));
  Integer(out, "date_read", message.date_read);
  Text(out, "date_read_str", SmsDateText(message.date_read));
  Integer(out, "is_from_me", message.is_from_me);
  Integer(out, "is_read", message.is_read);
  Integer(out, "is_sent", message.is_sent);
  Integer(out, "error", message.error);
  Integer(out, "handle_id", message.handle_id);
  Text(out, "handle_id_phone", message.address);
  Text(out, "subject", message.subject);
  Text(out, "account_guid", message.account_guid);
  Text(out, "account", message.account);
  out.EndObject(16);
}

template <class Handler>
void EmitSmsCorrespondent(Handler& out, const std::string& key, const SmsCorrespondent& correspondent) {
  using namespace sms_json_internal;
  out.StartObject();
  Integer(out, "id", correspondent.handle_rowid);
  Integer(out, "chat_rowid", correspondent.chat_rowid);
  Text(out, "chat_id", key);
  Text(out, "service", correspondent.service);
  Text(out, "country", correspondent.country);
  Text(out, "handle_id_phone", correspondent.address);
  out.EndObject(6);
}

// The conversation object; with `with_messages` its "messages" array holds conversation.messages.
template <class Handler>
void EmitSmsConversation(Handler& out, const SmsConversation& conversation, bool with_messages) {
  using namespace sms_json_internal;
  out.StartObject();
  Text(out, "id", std::to_string(conversation.rowid));
  Text(out, "chat_id", conversation.key);
  Text(out, "snippet", conversation.snippet);
  Text(out, "display_phone", WithoutLastComma(conversation.display_phone));
  Integer(out, "is_group", conversation.is_group);
  Integer(out, "date", conversation.date);
  Text(out, "date_str", SmsDateText(conversation.date));
  out.Key("handles", 7, true);
  out.StartArray();
  for (const SmsCorrespondent& correspondent : conversation.correspondents) {
    EmitSmsCorrespondent(out, conversation.key, correspondent);
  }
  out.EndArray(static_cast<rapidjson::SizeType>(conversation.correspondents.size()));
  Integer(out, "message_count", static_cast<int64_t>(conversation.message_count));
  if (with_messages) {
    out.Key("messages", 8, true);
    out.StartArray();
    for (const SmsMessage& message : conversation.messages) EmitSmsMessage(out, conversation.key, message);
    out.EndArray(static_cast<rapidjson::SizeType>(conversation.messages.size()));
  }
  out.EndObject(with_messages ? 10 : 9);
}

// Compact texts for the host's reports: the conversation without "messages", and one message.
std::string SmsConversationJson(const SmsConversation& conversation);
std::string SmsMessageJson(const std::string& key, const SmsMessage& message);

// Adds "chats" (every conversation with its messages inline, in list order) to the document object `document`.
void AddSmsChats(const std::vector<SmsConversation>& conversations, rapidjson::Document* document);
