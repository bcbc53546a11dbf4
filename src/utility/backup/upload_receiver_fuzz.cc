// Fuzz target: the upload stream after DLMessageUploadFiles can be any bytes. Reading it never crashes, never
// asks for more memory than its one buffer, and every file it would write lies inside the backup folder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "utility/backup/fuzz_confinement.h"
#include "utility/backup/upload_receiver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const BackupPathMap paths("/backups", "UDID", "UDID-1");
  UploadHooks hooks;
  hooks.wanted = [](const std::string& local) {
    AbortUnlessConfined(paths.folder(), local);
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
