// ZEBModuleNote: the device's notes through its synchronisation service ("com.apple.Notes"): list (1200), add or
// edit a note (1201); and the notes of a backup's databases, which a plug-in reads (1202).
//
// Payload: a marker ("1" for 1201, any other ending it with 0 and no device traffic), NUL, the JSON object with
// the device's "uuid" and the parameters:
//   1200  none. After the session: stage 1 {"Count":N} (-1 when there are none and the device keeps notes in an
//         account), then stage 2 reports whose data is a JSON array of up to 20 notes (note_records.h).
//   1201  "id" (the note's identifier, new or existing), "title", "content". The note goes to the device as plain
//         text with both dates the current UTC time; once the device confirmed the session and named the
//         note's identifier (a new note), or the device already held that identifier (an edit), one stage 2
//         report whose data is a JSON array with the note as sent, "guid" the device's identifier.
//   1202  "info": an object with "note_db_path" and "note_store_db_path". It is handed, as JSON text, to the
//         plug-ins as "LIBMODEL_IBACKUP_QUERY_NOTE_LIST" for the command's task; the plug-in answers the host
//         through its results and the task waits for them (no device is needed).
//
// Result codes: 0 done; 6 stopped by the host; 7 no such device; 8 the parameters of 1201 do not parse or have no
// "id" (nothing is sent); 13 the sync service cannot be started, refused the class, or the exchange broke off or
// timed out (a read then reports nothing); 21 the command JSON of 1200 or 1202 does not parse, or 1202's "info"
// lacks a path (nothing is forwarded); 30 the device named no identifier for a new note.
//
// Thread safety: stateless; each command runs its own session on its pool thread.
#pragma once

#include "utility/module/zeb_module.h"

class ZEBModuleNote : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;
};
