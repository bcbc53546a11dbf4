#include "devicesim/backup_fault.h"

namespace devicesim {
namespace {

constexpr struct {
  BackupFaultKind kind;
  const char* name;
} kNames[] = {
    {BackupFaultKind::kNone, "none"},
    {BackupFaultKind::kDeviceLocked, "device_locked"},
    {BackupFaultKind::kDiskFull, "disk_full"},
    {BackupFaultKind::kDisconnect, "disconnect"},
    {BackupFaultKind::kStall, "stall"},
    {BackupFaultKind::kClimbingName, "climbing_name"},
    {BackupFaultKind::kLongName, "long_name"},
    {BackupFaultKind::kHugeFileSize, "huge_file_size"},
};

}  // namespace

const char* BackupFaultKindName(BackupFaultKind kind) {
  for (const auto& entry : kNames) {
    if (entry.kind == kind) return entry.name;
  }
  return "none";
}

bool ParseBackupFaultKind(const std::string& text, BackupFaultKind* kind) {
  for (const auto& entry : kNames) {
    if (text == entry.name) {
      *kind = entry.kind;
      return true;
    }
  }
  return false;
}

}  // namespace devicesim
