// Running a backup session on a device: the backup service started with the escrow-bag option, the device link
// on it, the session; and the folder rules every backup shares.
//
// A backup goes into a new folder under its root, named by the device's identifier and the local time
// ("<udid>-YYYYMMDDhhmmss", "-2", "-3", ... added when a backup of the same second exists). When the root holds an
// earlier complete backup of the device (Status.plist, Manifest.plist and Manifest.db present), the new folder
// starts as a copy of it made of hard links, so the device can send only what changed (an incremental backup);
// every write into the new folder replaces a directory entry rather than changing a shared file, so the earlier
// backup keeps its content. Where hard links cannot be made the new folder starts empty (a full backup).
//
// The work backup (backup extraction) runs the same session into the process folder's "Backup0/", with no folder
// report and no Info.plist; its upload hooks decide which files are written and are told when one is complete.
//
// Thread safety: every function may be called from any thread; a session blocks its caller until it ends.
#pragma once

#include <cstdint>
#include <string>

#include "utility/ios/zeb_device_connection.h"
#include "utility/backup/backup_session.h"

// "-YYYYMMDDhhmmss" of a time in seconds since 1970, in local time; a time before 1970 or at or after
// 32,535,194,400 is taken as 0.
std::string BackupTimeSuffix(int64_t seconds_since_1970);

// Creates a new backup folder under `root` ("<udid><suffix>", or with "-N" after it when that exists) and returns
// its name; the creation itself decides, so two backups starting in the same second never share a folder. Empty
// when no folder could be created.
std::string ReserveBackupFolder(const std::string& root, const std::string& udid, int64_t seconds_since_1970);

// Fills the new (empty) folder `folder` with hard links to the newest complete earlier backup of `udid` under
// `root` whose encryption (Manifest.plist "IsEncrypted") is `encrypted`: a backup that changes its encryption is a
// full one, and must not keep the earlier backup's files beside the new ones. Returns the earlier folder's path,
// or "" when there was none (or linking failed: the folder is emptied again).
std::string SeedFromEarlierBackup(const std::string& root, const std::string& udid, const std::string& folder,
                                  bool encrypted);

// Starts the backup service and runs a backup. A service that cannot be started gives `no_service_text` with the
// start's error code (48 for a locked device) or 14.
BackupResult RunBackupOnDevice(const ZEBDeviceConnection& device, const BackupPathMap& paths,
                               const BackupSessionHooks& hooks,
                               const char* no_service_text = "DeviceOpenAFCServiceFail");
BackupResult RunRestoreOnDevice(const ZEBDeviceConnection& device, const BackupPathMap& paths,
                                const RestoreRequest& request, const BackupSessionHooks& hooks);

// The work backup for backup extraction. `hooks.upload.wanted` and `hooks.upload.written` are the extraction's
// registry; `hooks.cancelled` its task. `work_root` is the process folder + "Backup0/". *folder receives the
// backup folder. The folder is left in place whatever the result: the extraction owns it.
BackupResult RunWorkBackup(const ZEBDeviceConnection& device, const std::string& udid,
                           const std::string& work_root, const BackupSessionHooks& hooks, std::string* folder);
