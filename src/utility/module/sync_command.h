// What the sync modules (contacts, calendars, bookmarks, notes) share on top of the sync session: opening a
// session on a command's device with the command's stop request, the change-session opening, the delete
// command.
//
// Thread safety: each function runs on the thread of the command it is given.
#pragma once

#include <memory>
#include <string>

#include "utility/command_payload.h"  // JsonText
#include "utility/module/zeb_command.h"
#include "utility/sync/sync_session.h"

// A session of `data_class` on the command's device, stopping between batches when the host stops the task;
// null with *result set when it cannot be started or opened.
std::unique_ptr<SyncSession> StartSyncSession(ZEBCommand& command, const SyncDataClass& data_class, int* result);
// The same, with the device's own changes drained so that it is ready for the computer's.
std::unique_ptr<SyncSession> StartSyncChanges(ZEBCommand& command, const SyncDataClass& data_class, int* result);
// Runs a list command, then hands the memory its records took back to the system: an address book of ten
// thousand contacts is held whole until the session ends, on whichever pool thread ran it.
int ListAndRelease(ZEBCommand& command, int (*list)(ZEBCommand& command));
// The delete commands: the record named by the parameter "id" (8 without one, and nothing is sent).
int DeleteSyncRecord(ZEBCommand& command, const SyncDataClass& data_class);
