#include "utility/module/sms/sms_json.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace {

template <class Emit>
std::string CompactText(const Emit& emit) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  emit(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace

std::string SmsConversationJson(const SmsConversation& conversation) {
  return CompactText([&](auto& writer) { EmitSmsConversation(writer, conversation, false); });
}

std::string SmsMessageJson(const std::string& key, const SmsMessage& message) {
  return CompactText([&](auto& writer) { EmitSmsMessage(writer, key, message); });
}

void AddSmsChats(const std::vector<SmsConversation>& conversations, rapidjson::Document* document) {
  rapidjson::Document::AllocatorType& allocator = document->GetAllocator();
  // Built with the document's own allocator, so the array can be moved in without a copy.
  rapidjson::Document chats(&allocator);
  auto generate = [&](rapidjson::Document& out) {
    out.StartArray();
    for (const SmsConversation& conversation : conversations) EmitSmsConversation(out, conversation, true);
    return out.EndArray(static_cast<rapidjson::SizeType>(conversations.size()));
  };
  chats.Populate(generate);
  document->AddMember("chats", chats.Move(), allocator);
}
