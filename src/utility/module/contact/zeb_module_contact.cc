#include "utility/module/contact/zeb_module_contact.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <map>
#include <memory>
#include <set>

#include "iOSAPI/plist_message.h"
#include "utility/listing/listing_reporter.h"
#include "utility/module/contact/contact_book.h"
#include "utility/module/contact/contact_changes.h"
#include "utility/module/sync_command.h"
#include "utility/sync/sync_listing.h"
#include "utility/sync/sync_messages.h"
#include "utility/sync/sync_session.h"

namespace {

using namespace protocol;

constexpr char kContactEntity[] = "com.apple.contacts.Contact";
constexpr size_t kRecordsPerReport = 100;

void SendList(ZEBCommand& command, uint32_t type, int64_t count, const ContactBook& book, bool groups) {
  ListingReporter reporter(
      command.uuid(), {.shape = ListingOptions::Shape::kObjectMap, .batch = kRecordsPerReport, .count_on_items = true},
      [&command, type](const TaskReport& report) {
        command.sink().SendReportToHost(bas::IPCPacketHeader{command.packet().task_id, type, kHeaderProgress, 0},
                                        report);
      });
  reporter.SendCount(count);
  auto add = [&reporter](const std::string& id, const std::string& json) { reporter.Add(id, json); };
  if (groups) {
    book.WriteGroups(add);
  } else {
    book.WriteContacts(add);
  }
  reporter.Finish();
}

int List(ZEBCommand& command) {
  int result = kResultOk;
  std::unique_ptr<SyncSession> session = StartSyncSession(command, kSyncContacts, &result);
  if (!session) return result;
  ContactBook book;
  result = session->ReadAll([&book](const DeviceLinkMessage& batch) { book.TakeBatch(batch); });
  if (result != kResultOk) return result;
  result = session->Finish();
  if (result != kResultOk) return result;
  session.reset();
  SendList(command, kTypeGroupList, static_cast<int64_t>(book.group_count()), book, /*groups=*/true);
  SendList(command, kTypeContactList, ListedCount(*command.device(), kSyncContacts, book.contact_count()), book,
           /*groups=*/false);
  return kResultOk;
}

int Save(ZEBCommand& command) {
  const rapidjson::Document& json = command.json();
  std::string contact = JsonText(json, kContactEntity);
  std::vector<std::pair<const char*, std::string>> details;
  for (const char* entity : kContactDetailEntities) {
    std::string message = JsonText(json, entity);
    if (!message.empty()) details.emplace_back(entity, std::move(message));
  }
  // Nothing reaches the device unless every message is a property list.
  if (contact.empty() || !MakeMessage(contact)) return kResultBadArguments;
  for (const auto& [entity, message] : details) {
    if (!MakeMessage(message)) return kResultBadArguments;
  }
  int result = kResultOk;
  std::set<std::string> device_ids;
  std::unique_ptr<SyncSession> session = StartSyncChanges(command, kSyncContacts, &result, &device_ids);
  if (!session) return result;
  DeviceLinkMessage reply;
  result = session->SendChanges(contact, &reply);
  if (result != kResultOk) return result;
  std::map<std::string, std::string> ids = RemappedIdentifiers(reply);
  // An edited contact keeps its identifier: the device names none, and the details link to it as they are.
  std::string host_id = ids.empty() ? FirstRecordKey(contact) : ids.begin()->first;
  std::string device_id = DeviceIdentifier(host_id, ids, device_ids);
  if (device_id.empty()) return kResultNoContactId;
  for (const auto& [entity, message] : details) {
    result = session->SendChanges(ReplaceIdentifier(message, host_id, device_id), &reply);
    if (result != kResultOk) return result;
  }
  return session->Finish();
}

// 104 and 106: the group's change, and its identifier on the device reported when the device names one.
int SaveGroup(ZEBCommand& command, bool edit) {
  const rapidjson::Document& json = command.json();
  std::string id = JsonText(json, "id");
  std::string name = JsonText(json, "name");
  std::string guid = edit ? JsonText(json, "guid") : id;
  std::vector<std::string> members;
  if (edit) {
    auto it = json.FindMember("members");
    if (it != json.MemberEnd() && it->value.IsArray()) {
      for (const rapidjson::Value& member : it->value.GetArray()) {
        if (member.IsString()) members.emplace_back(member.GetString(), member.GetStringLength());
      }
    }
  }
  if (id.empty() || guid.empty()) return kResultBadArguments;
  std::string message = GroupChangeMessage("Group/" + id, name, edit ? &members : nullptr);
  int result = kResultOk;
  std::unique_ptr<SyncSession> session = StartSyncChanges(command, kSyncContacts, &result);
  if (!session) return result;
  DeviceLinkMessage reply;
  result = session->SendChanges(message, &reply);
  if (result != kResultOk) return result;
  std::map<std::string, std::string> ids = RemappedIdentifiers(reply);
  result = session->Finish();
  if (result != kResultOk) return result;
  auto assigned = ids.find("Group/" + guid);
  if (assigned != ids.end()) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("id");
    writer.String(assigned->second.c_str(), static_cast<rapidjson::SizeType>(assigned->second.size()));
    writer.Key("name");
    writer.String(name.c_str(), static_cast<rapidjson::SizeType>(name.size()));
    writer.EndObject();
    TaskReport report;
    report.stage = 2;
    report.uuid = command.uuid();
    report.data = std::string_view(buffer.GetString(), buffer.GetSize());
    command.SendProgress(report);
  }
  return kResultOk;
}

}  // namespace

int ZEBModuleContact::OnCommand(ZEBCommand& command) {
  switch (command.type()) {
    case kTypeContactList:
      return ListAndRelease(command, List);
    case kTypeContactSave:
      return Save(command);
    case kTypeContactDelete:
    case kTypeGroupDelete:
      return DeleteSyncRecord(command, kSyncContacts);
    case kTypeGroupAdd:
      return SaveGroup(command, /*edit=*/false);
    case kTypeGroupEdit:
      return SaveGroup(command, /*edit=*/true);
    default:
      return kResultOk;
  }
}
