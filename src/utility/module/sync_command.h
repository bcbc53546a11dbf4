// What the sync modules (contacts, calendars, bookmarks, notes) share on top of the sync session: opening a
// session on a command's device with the command's stop request, the change-session opening, the delete
// command.
//
// Thread safety: each function runs on the thread of the command it is given.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "utility/command_payload.h"  // JsonText
#include "utility/module/zeb_command.h"
#include "utility/sync/sync_session.h"

// A session of `data_class` on the command's device, stopping between batches when the host stops the task;
// null with *result set when it cannot be started or opened.
std::unique_ptr<SyncSession> StartSyncSession(ZEBCommand& command, const SyncDataClass& data_class, int* result);
// The same, with the device's own changes drained so that it is ready for the computer's. A session that
// announces itself as a fresh computer is always a slow sync, so the drain brings every record of the device:
// their identifiers go to `device_ids` when it is given.
std::unique_ptr<SyncSession> StartSyncChanges(ZEBCommand& command, const SyncDataClass& data_class, int* result,
                                              std::set<std::string>* device_ids = nullptr);
// The identifier the device holds `host_id` under after a change message: the one its answer assigned, or
// `host_id` itself when the device already had a record of that identifier (an edit keeps its identifier and
// the device names no new one); "" when neither.
std::string DeviceIdentifier(const std::string& host_id, const std::map<std::string, std::string>& assigned,
                             const std::set<std::string>& device_ids);
// The key of the first record of a change message (XML property list); "" when it has none.
std::string FirstRecordKey(const std::string& xml);
// Runs a list command, then hands the memory its records took back to the system: an address book of ten
// thousand contacts is held whole until the session ends, on whichever pool thread ran it.
int ListAndRelease(ZEBCommand& command, int (*list)(ZEBCommand& command));
// The delete commands: the record named by the parameter "id" (8 without one, and nothing is sent).
int DeleteSyncRecord(ZEBCommand& command, const SyncDataClass& data_class);
