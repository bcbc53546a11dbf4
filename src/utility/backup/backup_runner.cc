#include "utility/backup/backup_runner.h"

#include <glog/logging.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "iOSAPI/plist_message.h"
#include "utility/ios/device_link.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/protocol_codes.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kLastSuffixTime = 32535194400;

bool IsCompleteBackup(const fs::path& folder) {
  std::error_code error;
  for (const char* name : {"Status.plist", "Manifest.plist", "Manifest.db"}) {
    if (!fs::is_regular_file(folder / name, error)) return false;
  }
  return true;
}

bool IsEncryptedBackup(const fs::path& folder) {
  std::ifstream in(folder / "Manifest.plist", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PlistValue manifest;
  if (bytes.empty() || !ParseMessage(bytes.data(), bytes.size(), &manifest) || !manifest.IsDict()) return false;
  const PlistValue* encrypted = manifest.Find("IsEncrypted");
  return encrypted != nullptr && encrypted->IsBoolean() && encrypted->AsBool();
}

bool LinkTree(const fs::path& from, const fs::path& to) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(from, error), end; !error && it != end; it.increment(error)) {
    fs::path target = to / fs::relative(it->path(), from, error);
    if (error) return false;
    if (it->is_directory(error)) {
      fs::create_directories(target, error);
    } else if (it->is_regular_file(error)) {
      fs::create_hard_link(it->path(), target, error);
    }
    if (error) return false;
  }
  return !error;
}

BackupResult NoService(int error, const char* text) {
  return {error != 0 ? error : protocol::kResultNoService, text};
}

}  // namespace

std::string BackupTimeSuffix(int64_t seconds_since_1970) {
  if (seconds_since_1970 < 0 || seconds_since_1970 >= kLastSuffixTime) seconds_since_1970 = 0;
  std::time_t time = static_cast<std::time_t>(seconds_since_1970);
  std::tm local{};
  char text[32] = "";
  if (localtime_r(&time, &local) != nullptr) std::strftime(text, sizeof text, "-%Y%m%d%H%M%S", &local);
  return text;
}

std::string ReserveBackupFolder(const std::string& root, const std::string& udid, int64_t seconds_since_1970) {
  std::string name = udid + BackupTimeSuffix(seconds_since_1970);
  std::string candidate = name;
  for (int n = 2; n < 1000; ++n) {
    std::error_code error;
    if (fs::create_directory(fs::path(root) / candidate, error)) return candidate;
    if (error) return std::string();  // not a name taken: the root itself is unusable
    candidate = name + "-" + std::to_string(n);
  }
  return std::string();
}

std::string SeedFromEarlierBackup(const std::string& root, const std::string& udid, const std::string& folder,
                                  bool encrypted) {
  std::error_code error;
  fs::path newest;
  fs::file_time_type newest_time;
  fs::path own = fs::path(folder).lexically_normal();
  for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    if (name.compare(0, udid.size(), udid) != 0 || !it->is_directory(error)) continue;
    if (it->path().lexically_normal() == own || fs::path(it->path().string() + "/") == own) continue;
    if (!IsCompleteBackup(it->path()) || IsEncryptedBackup(it->path()) != encrypted) continue;
    fs::file_time_type time = fs::last_write_time(it->path() / "Status.plist", error);
    if (error) continue;
    if (newest.empty() || time > newest_time) {
      newest = it->path();
      newest_time = time;
    }
  }
  if (newest.empty()) return std::string();
  if (!LinkTree(newest, folder)) {
    LOG(WARNING) << "Could not link the earlier backup " << newest << "; this backup is a full one";
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      fs::remove_all(it->path(), error);
    }
    return std::string();
  }
  return newest.string();
}

BackupResult RunBackupOnDevice(const ZEBDeviceConnection& device, const BackupPathMap& paths,
                               const BackupSessionHooks& hooks, const char* no_service_text) {
  int error = 0;
  ServiceOptions options;
  options.unlock_escrow_bag = true;
  ZEBDeviceServicePtr service = StartService(device, kServiceBackup, &error, options);
  if (!service) return NoService(error, no_service_text);
  DeviceLink link(MakeServiceChannel(service));
  return RunBackupSession(link, paths, hooks);
}

BackupResult RunRestoreOnDevice(const ZEBDeviceConnection& device, const BackupPathMap& paths,
                                const RestoreRequest& request, const BackupSessionHooks& hooks) {
  int error = 0;
  ServiceOptions options;
  options.unlock_escrow_bag = true;
  ZEBDeviceServicePtr service = StartService(device, kServiceBackup, &error, options);
  if (!service) return NoService(error, "MonitorDeviceOpenAFCServiceFail");
  DeviceLink link(MakeServiceChannel(service));
  return RunRestoreSession(link, paths, request, hooks);
}

BackupResult RunWorkBackup(const ZEBDeviceConnection& device, const std::string& udid,
                           const std::string& work_root, const BackupSessionHooks& hooks, std::string* folder) {
  std::error_code error;
  fs::create_directories(work_root, error);
  int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                    std::chrono::system_clock::now().time_since_epoch()).count();
  std::string name = ReserveBackupFolder(work_root, udid, now);
  if (name.empty()) return {protocol::kResultIoFailed, "Cannot create a backup folder in " + work_root};
  BackupPathMap paths(work_root, udid, name);
  *folder = paths.folder();
  return RunBackupOnDevice(device, paths, hooks);
}
