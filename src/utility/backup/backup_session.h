// The device-side conversation of a backup or a restore over the device's backup service
// ("com.apple.mobilebackup2"), on a device link the caller has opened (the service started with the escrow-bag
// option).
//
// Handshake: the version exchange (300), Hello with the protocol versions 2 and 2.1 (one reply, not examined),
// then the Backup or Restore request. After that the device drives: the computer serves each request on the
// backup folder (BackupPathMap) and answers it, until the device's final Response or its Disconnect.
//
// Every request gets an answer, so a device is never left waiting: the parts of the protocol a device may use
// but this computer does not offer (PurgeDiskSpace, unknown requests, a free space the system cannot tell) are
// answered with a non-zero status. A path that leaves the backup folder is answered with a non-zero status and
// ends the session as refused.
//
// Results (code, text): 0 success; 2 "Task error." (backup) or "Task error Unknown." (restore) when no request
// could be read or a reply could not be sent; 45 for a disconnect before 100 percent or a connection lost in the
// middle of an upload; the device's ErrorCode with its ErrorDescription; 46 for a refused path; 13 for a file
// the computer could not write; 6 "Task cancelled." when the task is stopped (polled between requests, between
// uploaded files and while the device is silent).
//
// Progress goes to `progress` as a step from 0 to 10,000 (the device's percentage times 100), only when it grew.
//
// The session never removes the backup folder: the caller owns it and removes it when the result is not 0.
//
// Thread safety: runs on the calling thread; the hooks are called on it.
#pragma once

#include <functional>
#include <string>

#include "utility/backup/backup_paths.h"
#include "utility/backup/upload_receiver.h"
#include "utility/ios/device_link.h"

struct BackupSessionHooks {
  std::function<void(int step)> progress;
  std::function<bool()> cancelled;
  // For uploads (a backup); its `cancelled` defaults to the one above.
  UploadHooks upload;
  // Free bytes of the volume that holds the backup root; -1 when unknown. Null: the operating system is asked.
  std::function<int64_t(const std::string& root)> free_bytes;
};

struct BackupResult {
  int code = 0;
  std::string text;
};

// The device's identifier is the one its paths begin with (`paths.identifier()`).
BackupResult RunBackupSession(DeviceLink& link, const BackupPathMap& paths, const BackupSessionHooks& hooks);

struct RestoreRequest {
  std::string source_identifier;  // whose backup is restored (the names the device asks for begin with it)
  std::string target_identifier;  // the connected device
  bool encrypted = false;
  std::string password;  // sent only for an encrypted backup
};

BackupResult RunRestoreSession(DeviceLink& link, const BackupPathMap& paths, const RestoreRequest& request,
                               const BackupSessionHooks& hooks);

// How long a silent device is waited for before the session fails (a stop from the host ends it earlier).
inline constexpr unsigned kDeviceSilenceLimitMs = 10 * 60 * 1000;
