// BackupRequest: one request of the device's backup service, decoded from its device-link message.
//
// The device drives a backup or restore by sending requests ["DLMessage...", arguments..., progress]; the kind is
// the first element compared exactly (case and length). The overall progress is the first real element (a
// percentage). A DLMessageProcessMessage carries a dictionary that may hold "ErrorCode" and "ErrorDescription":
// the device's final word.
//
// Decoding never trusts the message: missing or mistyped arguments give empty lists, and the session answers
// what it can. The arguments are read with the accessors below, which also never fail.
//
// Thread safety: plain values and pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "utility/ios/device_link.h"

enum class BackupRequestKind : int {
  kUnknown = 0,
  kDownloadFiles = 1,
  kContentsOfDirectory = 2,
  kGetFreeDiskSpace = 3,
  kCreateDirectory = 4,
  kMoveItems = 5,
  kRemoveFiles = 7,
  kDisconnect = 8,
  kCopyItem = 9,
  kRemoveItems = 10,
  kProcessMessage = 11,
  kUploadFiles = 12,
};

struct BackupRequest {
  BackupRequestKind kind = BackupRequestKind::kUnknown;
  std::optional<double> progress;  // percent, when the request carries one
  bool has_error_code = false;     // a ProcessMessage whose dictionary holds "ErrorCode"
  int64_t error_code = 0;
  std::string error_description;
  DeviceLinkMessage message;
};

BackupRequest DecodeBackupRequest(DeviceLinkMessage message);

// The string elements of the array at position `index` (DownloadFiles, RemoveItems); empty when there is none.
std::vector<std::string> RequestPathList(const BackupRequest& request, size_t index = 1);
// The string at position `index` (CreateDirectory: 1; CopyItem: 1 and 2); empty when there is none.
std::string RequestString(const BackupRequest& request, size_t index);
// The string pairs of the dictionary at position 1 (MoveItems: source -> target); other members are skipped.
std::vector<std::pair<std::string, std::string>> RequestMoves(const BackupRequest& request);

// The progress step the host sees: the percentage times 100, truncated, within 0..10,000.
int ProgressStep(double percent);
