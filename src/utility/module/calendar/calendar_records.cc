#include "utility/module/calendar/calendar_records.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <unordered_map>

#include "utility/date_text.h"
#include "utility/sync/sync_records.h"

namespace {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

void PutField(Writer& writer, const char* name, const PlistValue& record, const char* field) {
  PutText(writer, name, RawFieldText(record.Find(field)));
}

// "name" in local time and "name_source" as the device sent it.
void PutDate(Writer& writer, const std::string& name, const PlistValue& record, const char* field) {
  std::string source = RawFieldText(record.Find(field));
  PutText(writer, name.c_str(), UtcTimeToLocalText(source));
  PutText(writer, (name + "_source").c_str(), source);
}

void PutEntity(Writer& writer, const PlistValue& record) {
  PutText(writer, "com_apple_syncservices_RecordEntityName", RecordEntity(record));
}

void PutColour(Writer& writer, const PlistValue& record) {
  writer.Key("colorComponents");
  writer.StartArray();
  if (const PlistValue* components = record.FindArray("colorComponents")) {
    for (const PlistValue& component : components->array()) {
      if (component.IsReal()) {
        writer.Double(component.AsReal());
      } else if (component.IsInteger()) {
        writer.Int64(component.AsInt64());
      } else {
        std::string text = RawFieldText(&component);
        writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
      }
    }
  }
  writer.EndArray();
}

}  // namespace

void CalendarSet::TakeBatch(const DeviceLinkMessage& batch) {
  ForEachRecord(batch, [this](const std::string& id, const PlistValue& record) {
    std::string entity = RecordEntity(record);
    if (entity == "com.apple.calendars.Calendar") {
      calendars_.push_back({id, record});
    } else if (entity == "com.apple.calendars.Event") {
      events_.push_back({id, record});
    } else if (entity == "com.apple.calendars.Recurrence") {
      recurrences_.push_back({id, record});
    } else if (entity == "com.apple.calendars.DisplayAlarm") {
      alarms_.push_back({id, record});
    }
  });
}

void CalendarSet::Write(const std::function<void(const std::string& json)>& calendar) const {
  std::unordered_map<std::string, std::vector<const PlistValue*>> events_of;  // calendar id -> events
  std::unordered_map<std::string, const PlistValue*> recurrence_of;           // event id -> recurrence
  std::unordered_map<std::string, std::vector<const PlistValue*>> alarms_of;  // event id -> alarms
  for (const Entry& event : events_) {
    for (const std::string& owner : LinkIds(event.record, "calendar")) events_of[owner].push_back(&event.record);
  }
  for (const Entry& recurrence : recurrences_) {
    for (const std::string& owner : LinkIds(recurrence.record, "owner"))
      recurrence_of.emplace(owner, &recurrence.record);
  }
  for (const Entry& alarm : alarms_) {
    for (const std::string& owner : LinkIds(alarm.record, "owner")) alarms_of[owner].push_back(&alarm.record);
  }
  std::unordered_map<const PlistValue*, const std::string*> id_of;
  for (const Entry& event : events_) id_of[&event.record] = &event.id;

  rapidjson::StringBuffer buffer;
  for (const Entry& entry : calendars_) {
    buffer.Clear();
    Writer writer(buffer);
    writer.StartObject();
    PutText(writer, "id", entry.id);
    PutField(writer, "title", entry.record, "title");
    PutEntity(writer, entry.record);
    PutField(writer, "read_only", entry.record, "read only");
    PutColour(writer, entry.record);
    writer.Key("events");
    writer.StartArray();
    for (const PlistValue* event : events_of[entry.id]) {
      const std::string& event_id = *id_of[event];
      writer.StartObject();
      PutDate(writer, "start_date", *event, "start date");
      PutDate(writer, "end_date", *event, "end date");
      PutField(writer, "all_day", *event, "all day");
      PutField(writer, "start_date_timezone", *event, "start date.timezone");
      PutEntity(writer, *event);
      PutField(writer, "summary", *event, "summary");
      PutField(writer, "description", *event, "description");
      PutField(writer, "location", *event, "location");
      auto recurrence = recurrence_of.find(event_id);
      if (recurrence != recurrence_of.end()) {
        const PlistValue& rule = *recurrence->second;
        writer.Key("recurrence");
        writer.StartObject();
        PutField(writer, "frequency", rule, "frequency");
        PutDate(writer, "until", rule, "until");
        PutField(writer, "interval", rule, "interval");
        PutEntity(writer, rule);
        writer.EndObject();
      }
      writer.Key("display_alarms");
      writer.StartArray();
      for (const PlistValue* alarm : alarms_of[event_id]) {
        writer.StartObject();
        PutField(writer, "description", *alarm, "description");
        PutField(writer, "triggerduration", *alarm, "triggerduration");
        PutEntity(writer, *alarm);
        writer.EndObject();
      }
      writer.EndArray();
      writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    calendar(std::string(buffer.GetString(), buffer.GetSize()));
  }
}
