// CalendarSet: the calendars of a read session with their events, and the events' recurrences and alarms,
// collected batch by batch and written out as the JSON the host is shown.
//
//   calendar   {"id","title","com_apple_syncservices_RecordEntityName","read_only","colorComponents":[...],
//               "events":[event...]}
//   event      {"start_date","start_date_source","end_date","end_date_source","all_day","start_date_timezone",
//               "com_apple_syncservices_RecordEntityName","summary","description","location",
//               "recurrence":{...} (when the event has one),"display_alarms":[alarm...]}
//   recurrence {"frequency","until","until_source","interval","com_apple_syncservices_RecordEntityName"}
//   alarm      {"description","triggerduration","com_apple_syncservices_RecordEntityName"}
// Every value is the device's as text (booleans "true"/"false", numbers in decimal, "" when missing); a
// "..._source" member holds a date as the device sent it (UTC) and the member without the suffix the same moment
// in local time. "colorComponents" keeps the device's numbers and texts as JSON numbers and strings.
//
// Linking happens when the calendars are written, so the order of the device's batches does not matter: an
// event belongs to every calendar its "calendar" field names, a recurrence (the first one) and each alarm to the
// event their "owner" names. Records that name nothing known are not shown.
//
// Thread safety: one set belongs to one command.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "utility/ios/device_link.h"

class CalendarSet {
 public:
  void TakeBatch(const DeviceLinkMessage& batch);

  size_t calendar_count() const { return calendars_.size(); }
  // Each calendar's JSON object text, in the order the calendars arrived.
  void Write(const std::function<void(const std::string& json)>& calendar) const;

 private:
  struct Entry {
    std::string id;
    PlistValue record;
  };
  std::vector<Entry> calendars_;
  std::vector<Entry> events_;
  std::vector<Entry> recurrences_;
  std::vector<Entry> alarms_;
};
