#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

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

std::string CreateTemporaryBeside(const std::string& target) {
  size_t slash = target.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string pattern = folder + "/." + name.substr(0, 200) + ".part-XXXXXX";
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  int fd = ::mkstemp(path.data());  // exclusive: never an existing file or link
  if (fd < 0) return std::string();
  ::fchmod(fd, 0644);
  ::close(fd);
  return path.data();
}

std::string CreatePrivateFolder(const std::string& parent, const std::string& prefix) {
  std::string pattern = parent + "/" + prefix + "XXXXXX";
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  if (::mkdtemp(path.data()) == nullptr) return std::string();  // mode 0700, never an existing name
  return path.data();
}

bool ReplaceFile(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

int64_t FreeBytes(const std::string& path) {
  struct statvfs volume {};
  if (::statvfs(path.c_str(), &volume) != 0) return -1;
  return static_cast<int64_t>(volume.f_bavail) * static_cast<int64_t>(volume.f_frsize);
}

}  // namespace platform
