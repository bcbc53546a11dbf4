// The requests of the backup service ("com.apple.mobilebackup2") once Hello is done. Each runs the device's side
// of one operation to its final Response: the device drives, asking the computer (BackupComputer) to send,
// take, move and remove files.
//
// Each function runs on the thread serving the backup connection. They read the device's state under its lock
// and write only the profile's restored state (restore) and the lockdown value WillEncrypt (password change).
#pragma once

#include <plist/plist.h>

#include "backup_computer.h"
#include "service.h"

namespace devicesim {

// Backup {TargetIdentifier, SourceIdentifier, Options {ForceFullBackup}}: full, or incremental against the
// computer's previous Manifest; ends with Status.plist "finished". Returns false when the connection is to be
// closed (a broken connection or an injected disconnect or stall).
bool RunBackup(ServiceContext& context, BackupComputer& computer, plist_t request);

// Restore {SourceIdentifier, Options {Password, ...}}: fetches the manifests and every file of the backup into
// the profile's restored state.
bool RunRestore(ServiceContext& context, BackupComputer& computer, plist_t request);

// Info and List: read the computer's backup and answer with a "Content" text (List: CSV of every file).
bool RunInfo(ServiceContext& context, BackupComputer& computer, plist_t request);
bool RunList(ServiceContext& context, BackupComputer& computer, plist_t request);

// Whether a lockdown ProductVersion is 10 or later (Manifest.db and the two-level file layout).
bool UsesManifestDb(const std::string& product_version);

}  // namespace devicesim
