#include "utility/module/sms/sms_document.h"

#include "utility/module/sms/sms_conversations.h"
#include "utility/module/sms/sms_json.h"

int QuerySmsDocument(rapidjson::Document* document) {
  std::string path;
  if (document->IsObject()) {
    auto member = document->FindMember("path");
    if (member != document->MemberEnd() && member->value.IsString()) {
      path.assign(member->value.GetString(), member->value.GetStringLength());
    }
  }
  SmsDatabase db;
  SmsConversationList list;
  int result = QuerySmsConversations(path, /*keep_messages=*/true, &db, &list);
  db.Close();
  if (result != kSmsOk) return result;
  AddSmsChats(list.conversations, document);
  return kSmsOk;
}
