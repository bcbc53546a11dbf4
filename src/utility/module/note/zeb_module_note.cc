#include "utility/module/note/zeb_module_note.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <ctime>
#include <map>
#include <memory>
#include <set>

#include "basic/plugin_util.h"
#include "utility/listing/listing_reporter.h"
#include "utility/module/note/note_records.h"
#include "utility/module/sync_command.h"
#include "utility/sync/sync_listing.h"

namespace {

using namespace protocol;

constexpr size_t kNotesPerReport = 20;
constexpr char kBackupNoteQuery[] = "LIBMODEL_IBACKUP_QUERY_NOTE_LIST";

int List(ZEBCommand& command) {
  int result = kResultOk;
  std::unique_ptr<SyncSession> session = StartSyncSession(command, kSyncNotes, &result);
  if (!session) return result;
  NoteList notes;
  result = session->ReadAll([&notes](const DeviceLinkMessage& batch) { notes.TakeBatch(batch); });
  if (result == kResultOk) result = session->Finish();
  if (result != kResultOk) return result;
  session.reset();
  ListingReporter reporter(command.uuid(),
                           {.shape = ListingOptions::Shape::kArray, .batch = kNotesPerReport, .count_on_items = true},
                           [&command](const TaskReport& report) { command.SendProgress(report); });
  reporter.SendCount(ListedCount(*command.device(), kSyncNotes, notes.size()));
  notes.Write([&reporter](const std::string& json) { reporter.Add(json); });
  reporter.Finish();
  return kResultOk;
}

std::string UtcNowText() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

int Save(ZEBCommand& command) {
  std::string id = JsonText(command.json(), "id");
  if (id.empty()) return kResultBadArguments;
  std::string title = JsonText(command.json(), "title");
  std::string content = JsonText(command.json(), "content");
  std::string now = UtcNowText();
  std::string message = NoteChangeMessage(id, title, content, now);
  int result = kResultOk;
  std::set<std::string> device_ids;
  std::unique_ptr<SyncSession> session = StartSyncChanges(command, kSyncNotes, &result, &device_ids);
  if (!session) return result;
  DeviceLinkMessage reply;
  result = session->SendChanges(message, &reply);
  if (result != kResultOk) return result;
  std::map<std::string, std::string> ids = RemappedIdentifiers(reply);
  result = session->Finish();
  if (result != kResultOk) return result;
  // An edited note keeps its identifier: the device names none.
  std::string device_id = DeviceIdentifier(id, ids, device_ids);
  if (device_id.empty()) return kResultNoNoteId;
  std::string data = "[" + NoteJson(device_id, NoteRecord(title, content, now)) + "]";
  TaskReport report;
  report.stage = 2;
  report.uuid = command.uuid();
  report.data = data;
  command.SendProgress(report);
  return kResultOk;
}

int ForwardBackupQuery(ZEBCommand& command) {
  const rapidjson::Value* info = command.info();
  if (info == nullptr || JsonText(*info, "note_db_path").empty() || JsonText(*info, "note_store_db_path").empty()) {
    return kResultBadJson;
  }
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  info->Accept(writer);
  std::string text(buffer.GetString(), buffer.GetSize());
  std::string task_id = std::to_string(command.packet().task_id);
  BASObserveData message{};
  message.task_id = task_id.c_str();
  message.message_name = kBackupNoteQuery;
  message.sender_id = bas::PluginRegistry::Get().self_id();
  message.payload_kind = kBASPayloadText;
  message.payload = text.c_str();
  message.payload_length = text.size();
  // The plug-in's results may come during the dispatch or later; the task waits for them.
  command.Continue();
  bas::PluginRegistry::Get().Dispatch(&message);
  return ZEBCommand::kContinue;
}

}  // namespace

int ZEBModuleNote::OnCommand(ZEBCommand& command) {
  switch (command.type()) {
    case kTypeNoteList:
      return ListAndRelease(command, List);
    case kTypeNoteSave:
      return Save(command);
    case kTypeBackupNoteList:
      return ForwardBackupQuery(command);
    default:
      return kResultOk;
  }
}
