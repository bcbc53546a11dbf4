#include "utility/module/plugins/zeb_module_plugins.h"

#include <glog/logging.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstring>

#include "basic/plugin_util.h"
#include "libbasic/kx_task_schedular.h"
#include "utility/start_params.h"
#include "utility/task_meta_data.h"
#include "utility/zeb_utility.h"

namespace {

std::string CompactJson(const void* value) {
  if (value == nullptr) return std::string();
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  static_cast<const rapidjson::Value*>(value)->Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace

ZEBModulePlugins& ZEBModulePlugins::Get() {
  static ZEBModulePlugins* module = new ZEBModulePlugins();
  return *module;
}

void ZEBModulePlugins::RegisterSelf() {
  self_id_ = bas::PluginRegistry::Get().RegisterSelf("Corvane", &ZEBModulePlugins::ReceiveFromBus,
                                                     {BAS_MESSAGE_COMMAND_RECEIVE});
}

bool ZEBModulePlugins::RegisterSubCommand(const std::string& name, SubCommandHandler handler) {
  return sub_commands_.emplace(name, handler).second;
}

int ZEBModulePlugins::ReceiveFromBus(BASObserveData* message) {
  if (message->message_name == nullptr || message->sub_command == nullptr ||
      std::strcmp(message->message_name, BAS_MESSAGE_COMMAND_RECEIVE) != 0) {
    return 0;
  }
  const auto& handlers = Get().sub_commands_;
  auto it = handlers.find(message->sub_command);
  if (it == handlers.end()) return 0;
  it->second(message);
  return static_cast<int>(message->result);
}

int ZEBModulePlugins::OnCommand(ZEBCommand& command) {
  const rapidjson::Value* info = command.info();
  auto kind = command.json().FindMember("type");
  std::string name = info != nullptr ? JsonText(*info, "sub_command_type") : std::string();

  std::string task_id = std::to_string(command.packet().task_id);
  BASObserveData message{};
  message.task_id = task_id.c_str();
  message.message_name = name.c_str();
  message.sender_id = self_id_;
  std::string text;
  BASPayloadRecord record{};
  if (kind != command.json().MemberEnd() && kind->value.IsInt() && kind->value.GetInt() == 0) {
    if (!command.data().empty() && !ZlibDecompress(command.data(), &text)) {
      LOG(ERROR) << "Plug-in command " << task_id << ": the payload is not a zlib stream";
      return kResultBadJson;
    }
    message.payload_kind = kBASPayloadText;
    message.payload = text.c_str();
    message.payload_length = text.size();
  } else {
    record.json = info;
    record.data = command.data().data();
    record.data_length = command.data().size();
    message.payload_kind = kBASPayloadRecord;
    message.payload = &record;
    message.payload_length = command.data().size();
  }
  // The task waits for the plug-in's results, which may come during the dispatch or later.
  command.Continue();
  bas::PluginRegistry::Get().Dispatch(&message);
  return ZEBCommand::kContinue;
}

void ZEBModulePlugins::OnSendResult(BASObserveData* message) {
  if (message->task_id == nullptr) return;
  bas::KxTaskPtr task = bas::KxTaskSchedular::Get().FindTask(message->task_id);
  if (!task || task->GetStatus() == bas::KxTaskStatus::kAborted) return;
  auto meta = std::static_pointer_cast<TaskMetaData>(task->GetTaskData());
  if (!meta) return;
  // A result shows the plug-in is still at work: the task's idle time starts again.
  task->NotifySchedular(bas::KxTaskStatus::kContinuing);

  TaskReport report;
  report.stage = 2;
  report.uuid = meta->uuid();
  std::string text;
  switch (message->payload_kind) {
    case kBASPayloadText:
      if (message->payload != nullptr) text.assign(static_cast<const char*>(message->payload), message->payload_length);
      report.data = text;
      break;
    case kBASPayloadJson:
      text = CompactJson(message->payload);
      report.data = text;
      break;
    case kBASPayloadRecord: {
      if (message->payload == nullptr) return;
      const auto* record = static_cast<const BASPayloadRecord*>(message->payload);
      report.info = CompactJson(record->json);
      report.type = 1;
      if (record->data != nullptr) report.data = std::string_view(static_cast<const char*>(record->data), record->data_length);
      break;
    }
    default:
      return;
  }
  bas::IPCPacketHeader header{TaskIdNumber(message->task_id), meta->packet_type, protocol::kHeaderProgress, 0};
  message->result = Get().sink().SendReportOnSocket(meta->socket, header, report) ? 1 : 0;
}
