#include <sys/statvfs.h>

#include <filesystem>
#include <system_error>

#include "platform/platform.h"

namespace platform {

bool CreateDirectories(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return std::filesystem::is_directory(path, error);
}

bool RemoveTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

bool PathExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

int64_t FreeBytes(const std::string& path) {
  struct statvfs volume {};
  if (::statvfs(path.c_str(), &volume) != 0) return -1;
  return static_cast<int64_t>(volume.f_bavail) * static_cast<int64_t>(volume.f_frsize);
}

}  // namespace platform
