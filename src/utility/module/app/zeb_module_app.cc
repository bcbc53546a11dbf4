#include "utility/module/app/zeb_module_app.h"

#include <memory>

#include "libbasic/kx_task_schedular.h"
#include "utility/ios/zeb_device_monitor.h"
#include "utility/module/app/app_command.h"
#include "utility/module/command_payload.h"
#include "utility/task_meta_data.h"

namespace {

// The argument array's text items; false when the bytes are no JSON array. Trailing NUL bytes (a host that
// ends the payload like a C string) are not part of the JSON text.
bool ParseArguments(std::string_view text, std::vector<std::string>* items) {
  while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
  rapidjson::Document arguments;
  arguments.Parse(text.data(), text.size());
  if (arguments.HasParseError() || !arguments.IsArray()) return false;
  for (const rapidjson::Value& item : arguments.GetArray()) {
    if (item.IsString()) items->emplace_back(item.GetString(), item.GetStringLength());
  }
  return true;
}

void RememberUuid(const bas::IPCPacket& packet, const std::string& uuid) {
  bas::KxTaskPtr task = bas::KxTaskSchedular::Get().FindTask(std::to_string(packet.task_id));
  if (!task) return;
  if (auto meta = std::static_pointer_cast<TaskMetaData>(task->GetTaskData())) meta->set_uuid(uuid);
}

}  // namespace

int ZEBModuleApp::OnCommand(const bas::IPCPacket& packet) {
  CommandPayload parts = SplitCommandPayload(packet.payload);
  if (parts.marker != 1) return ReportResult(packet, "", kResultOk, "");
  rapidjson::Document object;
  if (!ParseJsonObject(parts.json, &object)) return ReportResult(packet, "", kResultBadJson, "");
  std::string uuid = JsonText(object, "uuid");
  RememberUuid(packet, uuid);
  ZEBDeviceConnectionPtr connection = uuid.empty() ? nullptr : ZEBDeviceMonitor::Get().FindConnection(uuid);
  if (!connection) return ReportResult(packet, uuid, kAppResultNoDevice, "");

  AppCommand command{packet, uuid, connection, {}, [this, &packet](const TaskReport& report) {
                       SendProgress(packet, report);
                     }};
  if (packet.type != kTypeList && !ParseArguments(parts.rest, &command.arguments)) {
    return ReportResult(packet, uuid, kAppResultBadArguments, "");
  }
  int result = kResultOk;
  switch (packet.type) {
    case kTypeList: result = RunList(command); break;
    case kTypeIcons: result = RunIcons(command); break;
    case kTypeInstall: result = RunInstall(command); break;
    case kTypeUninstall: result = RunRemoval(command, /*archive=*/false); break;
    case kTypeArchive: result = RunRemoval(command, /*archive=*/true); break;
    default: break;
  }
  return ReportResult(packet, uuid, result, "");
}
