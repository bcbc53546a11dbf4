// Fuzz target: the upload stream after DLMessageUploadFiles can be any bytes. Reading it never crashes, never
// asks for more memory than its one buffer, and every file it would write lies inside the backup folder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "utility/backup/upload_receiver.h"

namespace {

// Aborts unless `local` is the folder or lies below it, with no "." or ".." component.
void CheckConfined(const std::string& folder, const std::string& local) {
  if (local == folder.substr(0, folder.size() - 1)) return;
  if (local.compare(0, folder.size(), folder) != 0) std::abort();
  size_t start = folder.size();
  while (start <= local.size()) {
    size_t end = local.find('/', start);
    std::string part = local.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string::npos) std::abort();
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const BackupPathMap paths("/backups", "UDID", "UDID-1");
  UploadHooks hooks;
  hooks.wanted = [](const std::string& local) {
    CheckConfined(paths.folder(), local);
    return true;
  };
  hooks.open = [](const std::string&) { return std::fopen("/dev/null", "wb"); };
  UploadReceiver receiver(paths, hooks);
  size_t at = 0;
  receiver.Receive([&](char* buffer, size_t length) {
    if (size - at < length) return false;
    std::memcpy(buffer, data + at, length);
    at += length;
    return true;
  });
  return 0;
}
