#include "utility/module/calendar/zeb_module_calendar.h"

#include <map>
#include <memory>
#include <set>

#include "iOSAPI/plist_message.h"
#include "utility/listing/listing_reporter.h"
#include "utility/module/calendar/calendar_records.h"
#include "utility/module/sync_command.h"
#include "utility/sync/sync_listing.h"
#include "utility/sync/sync_messages.h"
#include "utility/sync/sync_session.h"

namespace {

using namespace protocol;

constexpr size_t kCalendarsPerReport = 20;
constexpr char kCalendarEntity[] = "com.apple.calendars.Calendar";
constexpr char kEventEntity[] = "com.apple.calendars.Event";
// The messages after the calendar's, in the order they are sent; the alarms and recurrences belong to the event.
constexpr const char* kDependentEntities[] = {kEventEntity, "com.apple.calendars.DisplayAlarm",
                                              "com.apple.calendars.Recurrence"};

int List(ZEBCommand& command) {
  int result = kResultOk;
  std::unique_ptr<SyncSession> session = StartSyncSession(command, kSyncCalendars, &result);
  if (!session) return result;
  CalendarSet calendars;
  result = session->ReadAll([&calendars](const DeviceLinkMessage& batch) { calendars.TakeBatch(batch); });
  if (result == kResultOk) result = session->Finish();
  if (result != kResultOk) return result;
  session.reset();
  ListingReporter reporter(
      command.uuid(), {.shape = ListingOptions::Shape::kArray, .batch = kCalendarsPerReport, .count_on_items = true},
      [&command](const TaskReport& report) { command.SendProgress(report); });
  reporter.SendCount(ListedCount(*command.device(), kSyncCalendars, calendars.calendar_count()));
  calendars.Write([&reporter](const std::string& json) { reporter.Add(json); });
  reporter.Finish();
  return kResultOk;
}

int Save(ZEBCommand& command) {
  std::string calendar = JsonText(command.json(), kCalendarEntity);
  std::vector<std::pair<const char*, std::string>> dependents;
  for (const char* entity : kDependentEntities) {
    std::string message = JsonText(command.json(), entity);
    if (!message.empty()) dependents.emplace_back(entity, std::move(message));
  }
  if (calendar.empty() || !MakeMessage(calendar)) return kResultBadArguments;
  for (const auto& [entity, message] : dependents) {
    if (!MakeMessage(message)) return kResultBadArguments;
  }
  int result = kResultOk;
  std::set<std::string> device_ids;
  std::unique_ptr<SyncSession> session = StartSyncChanges(command, kSyncCalendars, &result, &device_ids);
  if (!session) return result;
  DeviceLinkMessage reply;
  result = session->SendChanges(calendar, &reply);
  if (result != kResultOk) return result;
  std::map<std::string, std::string> calendar_ids = RemappedIdentifiers(reply);
  // An edited calendar keeps its identifier: the device names none, and what links to it stays as it is.
  std::string host_calendar = calendar_ids.empty() ? FirstRecordKey(calendar) : calendar_ids.begin()->first;
  std::string device_calendar = DeviceIdentifier(host_calendar, calendar_ids, device_ids);
  if (device_calendar.empty()) return kResultNoCalendarId;
  std::map<std::string, std::string> event_ids;
  for (const auto& [entity, message] : dependents) {
    std::string patched = ReplaceIdentifier(message, host_calendar, device_calendar);
    if (entity != kEventEntity && !event_ids.empty()) {
      patched = ReplaceIdentifier(patched, event_ids.begin()->first, event_ids.begin()->second);
    }
    result = session->SendChanges(patched, &reply);
    if (result != kResultOk) return result;
    if (entity == kEventEntity) event_ids = RemappedIdentifiers(reply);
  }
  return session->Finish();
}

}  // namespace

int ZEBModuleCalendar::OnCommand(ZEBCommand& command) {
  switch (command.type()) {
    case kTypeCalendarList:
      return ListAndRelease(command, List);
    case kTypeCalendarSave:
      return Save(command);
    case kTypeCalendarDelete:
      return DeleteSyncRecord(command, kSyncCalendars);
    default:
      return kResultOk;
  }
}
