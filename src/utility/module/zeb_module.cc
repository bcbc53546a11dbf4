#include "utility/module/zeb_module.h"

int ZEBModule::OnHook(const void* argument) { return callback_ != nullptr ? callback_(argument, user_, 0) : 0; }

int ZEBModule::OnCommand(ZEBCommand& command) {
  if (callback_ != nullptr) callback_(&command.packet(), user_, 1);
  return ZEBCommand::kNoReport;
}

int ZEBModule::OnHookB() { return 0; }

int ZEBModule::OnChildPacket(const bas::IPCPacket&) { return 0; }

void ZEBModule::SetNotificationCallback(NotificationCallback callback, void* user) {
  callback_ = callback;
  user_ = user;
}
