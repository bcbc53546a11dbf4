#include "utility/module/sms/zeb_module_sms.h"

#include <memory>

#include "utility/command_payload.h"
#include "utility/module/sms/sms_document.h"
#include "utility/module/sms/sms_host_stream.h"
#include "utility/module/sms/sms_stream_ahead.h"

namespace {

std::string DatabasePath(const ZEBCommand& command) {
  const rapidjson::Value* info = command.info();
  return info != nullptr ? JsonText(*info, "sms_db_path") : std::string();
}

}  // namespace

int ZEBModuleSms::OnCommand(ZEBCommand& command) {
  // The reports name the connected device by its own identifier, or "" when the host named none that is here.
  command.set_uuid(command.device() ? command.device()->Identity().uniqueDeviceID : std::string());
  ReportBatch batch(command.sink());  // sends what it still holds when it goes, before the final report
  SmsHostStream stream(command.uuid(), command.task(), command.ProgressHeader(), &batch);
  // The host is told of a database that cannot be read only through the count of 0; the result stays 0. A reading
  // that fails after conversations were announced is another matter: the host must not take the short stream for
  // the whole, so the result is the query's failure code.
  int result = StreamSmsDatabaseAhead(DatabasePath(command), &stream);
  return result == kSmsStopped                  ? kResultAborted
         : result != 0 && stream.announced() > 0 ? result
                                                 : kResultOk;
}

void ZEBModuleSms::QueryConversationList(BASObserveData* message) {
  message->result = 0;
  if (message->payload_kind != kBASPayloadText || message->payload == nullptr) return;
  auto document = std::make_unique<rapidjson::Document>();
  std::string_view text(static_cast<const char*>(message->payload), message->payload_length);
  if (!ParseJsonObject(text, document.get())) return;
  if (QuerySmsDocument(document.get()) != 0) return;
  message->payload_kind = kBASPayloadJson;
  message->payload = document.release();
  message->payload_length = 0;
  message->result = 1;
}
