// Failures the simulated device's backup service ("com.apple.mobilebackup2") can show on demand, as real devices
// do, so clients of the backup protocol can be tested against each of them.
//
// A BackupFault is plain data: it is read from device.json ("faults": {"backup": {...}}) or set through
// Simulator::SetBackupFault, which copies it under the device's lock; it applies to every later backup.
#pragma once

#include <string>

namespace devicesim {

enum class BackupFaultKind {
  kNone,
  // The backup request is answered with ErrorCode 208 "Device locked": the user must enter the passcode first.
  kDeviceLocked,
  // The device believes the backup needs more space than the computer reports free and answers ErrorCode 105.
  kDiskFull,
  // The device closes the connection in the middle of the file after `after_files` uploaded files.
  kDisconnect,
  // After `after_files` uploaded files the device stops sending and never answers again.
  kStall,
  // The upload target of file number `after_files` climbs out of the backup folder ("<udid>/../../...").
  kClimbingName,
  // The upload target of file number `after_files` is 5,000 bytes long.
  kLongName,
  // The upload batch holding file number `after_files` announces 2^62 bytes in all, and that file's first block
  // announces 4 GiB - 16 bytes; a few bytes follow and the device closes.
  kHugeFileSize,
};

struct BackupFault {
  BackupFaultKind kind = BackupFaultKind::kNone;
  int after_files = 0;
};

const char* BackupFaultKindName(BackupFaultKind kind);
// False when `text` names no kind ("none", "device_locked", "disk_full", "disconnect", "stall", "climbing_name",
// "long_name", "huge_file_size").
bool ParseBackupFaultKind(const std::string& text, BackupFaultKind* kind);

}  // namespace devicesim
