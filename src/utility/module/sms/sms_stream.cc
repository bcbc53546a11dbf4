#include "utility/module/sms/sms_stream.h"

#include <glog/logging.h>

#include "utility/module/sms/sms_conversations.h"
#include "utility/module/sms/sms_json.h"
#include "utility/module/sms/sms_reread.h"

namespace {

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
  SmsReread reread(&db, &list);
  bool reread_needed = result == kSmsOk && list.in_date_rowid_order && !list.conversations.empty();
  if (reread_needed) {
    result = reread.Prepare();
    LOG(INFO) << "Messages of " << path << " are read again "
              << (reread.by_conversation() ? "conversation by conversation" : "sorted by conversation");
  }
  if (result != kSmsOk) {
    db.Close();
    sink->OnCount(0);
    return result;
  }
  if (!sink->OnCount(list.conversations.size())) return kSmsStopped;
  return reread_needed ? reread.Send(sink) : StreamHeld(list, sink);
}
