#include "utility/module/sms/zeb_module_sms.h"

#include <memory>

#include "libbasic/kx_task_schedular.h"
#include "utility/ios/zeb_device_monitor.h"
#include "utility/module/command_payload.h"
#include "utility/module/sms/sms_document.h"
#include "utility/module/sms/sms_host_stream.h"
#include "utility/module/sms/sms_stream_ahead.h"
#include "utility/task_meta_data.h"

namespace {

std::string DeviceIdentifier(const std::string& uuid) {
  ZEBDeviceConnectionPtr connection = ZEBDeviceMonitor::Get().FindConnection(uuid);
  return connection ? connection->Identity().uniqueDeviceID : std::string();
}

std::string DatabasePath(const rapidjson::Document& command) {
  auto info = command.FindMember("info");
  return info != command.MemberEnd() ? JsonText(info->value, "sms_db_path") : std::string();
}

}  // namespace

bool ZEBModuleSms::ShouldRun(const bas::KxTask* task, uint32_t packet_type, int marker) {
  if (task == nullptr || task->GetStatus() == bas::KxTaskStatus::kAborted) return false;
  return packet_type == kTypeQueryConversations && marker == kCommandMarker;
}

int ZEBModuleSms::OnCommand(const bas::IPCPacket& packet) {
  CommandPayload parts = SplitCommandPayload(packet.payload);
  rapidjson::Document command;
  if (!ParseJsonObject(parts.json, &command)) {
    ReportResult(packet, "", kResultBadJson, "");
    return kResultBadJson;
  }
  std::string uuid = DeviceIdentifier(JsonText(command, "uuid"));
  bas::KxTaskPtr task = bas::KxTaskSchedular::Get().FindTask(std::to_string(packet.task_id));
  if (!ShouldRun(task.get(), packet.type, parts.marker)) return kNoReport;
  if (auto meta = std::static_pointer_cast<TaskMetaData>(task->GetTaskData())) meta->set_uuid(uuid);

  SmsHostStream stream(uuid, task, [this, &packet](const TaskReport& report) { SendProgress(packet, report); });
  // The host is told of a database that cannot be read only through the count of 0; the result stays 0. A reading
  // that fails after conversations were announced is another matter: the host must not take the short stream for
  // the whole, so the result is the query's failure code.
  int result = StreamSmsDatabaseAhead(DatabasePath(command), &stream);
  int code = result == kSmsStopped                  ? kResultAborted
             : result != 0 && stream.announced() > 0 ? result
                                                     : kResultOk;
  ReportResult(packet, uuid, code, "");
  task->NotifySchedular(bas::KxTaskStatus::kFinished);
  return code;
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
