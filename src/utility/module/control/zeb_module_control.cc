#include "utility/module/control/zeb_module_control.h"

#include "libbasic/kx_task_schedular.h"

int ZEBModuleControl::OnCommand(ZEBCommand& command) {
  if (const rapidjson::Value* info = command.info()) {
    auto task_id = info->FindMember("task_id");
    if (task_id != info->MemberEnd() && task_id->value.IsString()) {
      bas::KxTaskSchedular::Get().StopTask(task_id->value.GetString());
    } else if (task_id != info->MemberEnd() && task_id->value.IsUint64()) {
      bas::KxTaskSchedular::Get().StopTask(std::to_string(task_id->value.GetUint64()));
    }
  }
  return kResultOk;
}
