// Fuzz target: a device's backup request can be any bytes. Decoding it and reading its arguments never crash,
// and no path it names maps outside the backup folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "utility/backup/backup_paths.h"
#include "utility/backup/backup_request.h"
#include "utility/backup/fuzz_confinement.h"

namespace {

void CheckConfined(const BackupPathMap& paths, const std::string& device_path) {
  std::string local;
  if (paths.Map(device_path, &local)) AbortUnlessConfined(paths.folder(), local);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DeviceLinkMessage message;
  if (!ParseDeviceLinkMessage(std::string_view(reinterpret_cast<const char*>(data), size), &message)) return 0;
  BackupRequest request = DecodeBackupRequest(std::move(message));
  if (request.progress) ProgressStep(*request.progress);
  static const BackupPathMap paths("/backups", "UDID", "UDID-20261208131500");
  for (const std::string& path : RequestPathList(request)) CheckConfined(paths, path);
  for (const auto& [source, target] : RequestMoves(request)) {
    CheckConfined(paths, source);
    CheckConfined(paths, target);
  }
  for (size_t index = 0; index < 4; ++index) CheckConfined(paths, RequestString(request, index));
  return 0;
}
