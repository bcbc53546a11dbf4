#include "utility/module/sync_command.h"

#include "platform/platform.h"
#include "utility/protocol_codes.h"
#include "utility/sync/sync_messages.h"

std::unique_ptr<SyncSession> StartSyncSession(ZEBCommand& command, const SyncDataClass& data_class, int* result) {
  return SyncSession::Start(command.device()->device, data_class, [&command] { return command.Aborted(); }, result);
}

std::unique_ptr<SyncSession> StartSyncChanges(ZEBCommand& command, const SyncDataClass& data_class, int* result) {
  std::unique_ptr<SyncSession> session = StartSyncSession(command, data_class, result);
  if (!session) return nullptr;
  *result = session->DrainChanges();
  if (*result != protocol::kResultOk) return nullptr;
  return session;
}

int ListAndRelease(ZEBCommand& command, int (*list)(ZEBCommand& command)) {
  int result = list(command);
  platform::ReleaseFreeMemory();
  return result;
}

int DeleteSyncRecord(ZEBCommand& command, const SyncDataClass& data_class) {
  std::string id = JsonText(command.json(), "id");
  if (id.empty()) return protocol::kResultBadArguments;
  int result = protocol::kResultOk;
  std::unique_ptr<SyncSession> session = StartSyncChanges(command, data_class, &result);
  if (!session) return result;
  DeviceLinkMessage reply;
  result = session->SendChanges(DeleteRecordMessage(data_class.name, id), &reply);
  if (result != protocol::kResultOk) return result;
  return session->Finish();
}
