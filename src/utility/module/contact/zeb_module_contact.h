// ZEBModuleContact: the device's contacts and contact groups through its synchronisation service
// ("com.apple.Contacts"): list (100), add or edit a contact (102), delete a contact (103), add a group (104),
// delete a group (105), edit a group (106).
//
// Payload: the marker "1" (any other ends the command with 0 and no device traffic), NUL, the JSON object with
// the device's "uuid" and the parameters:
//   100  none. After the session: the groups as packet type 101 (stage 1 {"Count":N}, then stage 2 reports of up
//        to 100 groups, a JSON object id -> group), then the contacts as type 100 the same way; the contacts'
//        N is -1 when there are none and the device keeps contacts in accounts (data-sync settings). Contact and
//        group objects are described in contact_book.h.
//   102  one member per entity, key the entity name ("com.apple.contacts.Contact", required, then any of the
//        detail entities of contact_changes.h), value the complete change message (XML property list). The
//        contact's goes first, as it is; the identifier the device gives a new contact replaces the host's in
//        every detail message (whole element texts only), which follow in the fixed order. A contact the device
//        already holds (an edit) keeps its identifier: the device names none and the details go as they are.
//   103, 105  "id": the record to delete.
//   104  "id": a temporary group identifier, "name". 106: "id" (the key of the change), "guid" (looked up in the
//        device's answer), "name", "members" (array of contact identifiers). When the device names the group's
//        identifier, one stage 2 report of the command's own type follows: {"id": device id, "name": name}.
//
// Result codes: 0 done; 6 stopped by the host; 7 no such device; 8 the command JSON does not parse, a required
// parameter is missing, or a change message is no property list (nothing is sent); 13 the sync service cannot
// be started, refused the class, or the exchange broke off or timed out (a read then reports nothing: no
// partial list passes for the address book); 28 the device gave the contact no identifier and holds none of the
// host's (its details are not sent, the session is not finished).
//
// Thread safety: stateless; each command runs its own session on its pool thread.
#pragma once

#include "utility/module/zeb_module.h"

class ZEBModuleContact : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;
};
