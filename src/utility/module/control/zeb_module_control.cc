#include "utility/module/control/zeb_module_control.h"

#include "libbasic/kx_task_schedular.h"
#include "utility/module/command_payload.h"

int ZEBModuleControl::OnCommand(const bas::IPCPacket& packet) {
  if (packet.type != kTypeStopTask) return 0;
  rapidjson::Document command;
  if (!ParseJsonObject(SplitCommandPayload(packet.payload).json, &command)) {
    return ReportResult(packet, "", kResultBadJson, "");
  }
  auto info = command.FindMember("info");
  if (info != command.MemberEnd() && info->value.IsObject()) {
    auto task_id = info->value.FindMember("task_id");
    if (task_id != info->value.MemberEnd() && task_id->value.IsString()) {
      bas::KxTaskSchedular::Get().StopTask(task_id->value.GetString());
    } else if (task_id != info->value.MemberEnd() && task_id->value.IsUint64()) {
      bas::KxTaskSchedular::Get().StopTask(std::to_string(task_id->value.GetUint64()));
    }
  }
  return ReportResult(packet, "", kResultOk, "");
}
