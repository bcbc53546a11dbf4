// ZEBModuleCalendar: the device's calendars with their events, recurrences and alarms, through its
// synchronisation service ("com.apple.Calendars"): list (1500), add or edit (1501), delete (1502).
//
// Payload: a marker ("1" for 1501 and 1502, any other ending them with 0 and no device traffic; 1500 runs
// whatever it is), NUL, the JSON object with the device's "uuid" and the parameters:
//   1500  none. After the session: stage 1 {"Count":N} (-1 when there are none and the device keeps calendars
//         in an account), then stage 2 reports whose data is a JSON array of up to 20 calendars
//         (calendar_records.h), all of the command's own type.
//   1501  one member per entity, key the entity name ("com.apple.calendars.Calendar", required, then any of
//         "...Event", "...DisplayAlarm", "...Recurrence"), value the complete change message (XML property
//         list). They are sent in that order; the device's identifier for the calendar replaces the host's in
//         every later message, and its identifier for the event replaces the host's in the alarm and recurrence
//         messages (whole element texts only). A calendar or event the device already holds (an edit) keeps
//         its identifier.
//   1502  "id": the record to delete.
//
// Result codes: 0 done; 6 stopped by the host; 7 no such device; 8 parameters that do not parse, a missing
// identifier or calendar message, or a change message that is no property list (nothing is sent); 13 the sync
// service cannot be started, refused the class, or the exchange broke off or timed out (a read then reports
// nothing); 29 the device gave the calendar no identifier and holds none of the host's
// (nothing after it is sent).
//
// Thread safety: stateless; each command runs its own session on its pool thread.
#pragma once

#include "utility/module/zeb_module.h"

class ZEBModuleCalendar : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;
};
