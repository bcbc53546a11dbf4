#include "utility/module/sync_command.h"

#include "iOSAPI/plist_message.h"
#include "platform/platform.h"
#include "utility/protocol_codes.h"
#include "utility/sync/sync_messages.h"
#include "utility/sync/sync_records.h"

std::unique_ptr<SyncSession> StartSyncSession(ZEBCommand& command, const SyncDataClass& data_class, int* result) {
  return SyncSession::Start(
      *command.device(), data_class, [&command] { return command.Aborted(); }, result);
}

std::unique_ptr<SyncSession> StartSyncChanges(ZEBCommand& command, const SyncDataClass& data_class, int* result,
                                              std::set<std::string>* device_ids) {
  std::unique_ptr<SyncSession> session = StartSyncSession(command, data_class, result);
  if (!session) return nullptr;
  SyncSession::Batch collect;
  if (device_ids != nullptr) {
    collect = [device_ids](const DeviceLinkMessage& batch) {
      ForEachRecord(batch, [device_ids](const std::string& id, const PlistValue&) { device_ids->insert(id); });
    };
  }
  *result = session->DrainChanges(collect);
  if (*result != protocol::kResultOk) return nullptr;
  return session;
}

std::string DeviceIdentifier(const std::string& host_id, const std::map<std::string, std::string>& assigned,
                             const std::set<std::string>& device_ids) {
  auto it = assigned.find(host_id);
  if (it != assigned.end()) return it->second;
  return device_ids.count(host_id) != 0 ? host_id : std::string();
}

std::string FirstRecordKey(const std::string& xml) {
  std::optional<std::string> binary = MakeMessage(xml);
  DeviceLinkMessage message;
  if (!binary || !ParseDeviceLinkMessage(*binary, &message)) return std::string();
  std::string key;
  ForEachRecord(message, [&key](const std::string& id, const PlistValue&) {
    if (key.empty()) key = id;
  });
  return key;
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
