#include "utility/module/erase/zeb_module_erase.h"

#include <glog/logging.h>

#include "utility/module/erase/erase_internal.h"
#include "utility/module/erase/erase_parameters.h"
#include "utility/zeb_utility.h"

void ZEBModuleErase::SetRestoreOperation(EraseRestoreOperation restore) {
  std::lock_guard<std::mutex> lock(mutex_);
  restore_ = std::move(restore);
}

EraseRestoreOperation ZEBModuleErase::Restore() {
  std::lock_guard<std::mutex> lock(mutex_);
  return restore_;
}

int ZEBModuleErase::OnCommand(ZEBCommand& command) {
  if (!command.json().HasMember("uuid")) return ZEBCommand::kNoReport;
  if (command.uuid().empty() || !command.device()) return protocol::kResultNoDevice;
  if (command.marker() != 1) return FinishErase(command, EraseResult{});
  rapidjson::Document parameters;
  if (!InflateParameterBlock(command.data(), &parameters)) return FinishErase(command, {8, ""});
  EraseResult result = command.type() == protocol::kTypeWipeFreeSpace
                           ? RunWipeFreeSpace(command, parameters)
                           : RunEraseAll(command, parameters, Restore());
  LOG(INFO) << "Erase command " << command.type() << ": " << result.code << " " << result.message;
  return FinishErase(command, result);
}
