#include "utility/backup/backup_folder_ops.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string Text(const std::error_code& error) { return error ? error.message() : std::string(); }

}  // namespace

std::string CreateFolderWithParents(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  if (!error && !fs::is_directory(path, error)) return "Not a directory";
  return Text(error);
}

std::string MoveReplacing(const std::string& source, const std::string& target) {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(source, error))) return std::string();
  fs::path parent = fs::path(target).parent_path();
  if (!parent.empty()) fs::create_directories(parent, error);
  error.clear();
  fs::rename(source, target, error);  // replaces a file in one step
  if (error && fs::exists(fs::symlink_status(target))) {
    // A folder (or a file where a folder goes) is in the way: the device's item wins.
    error.clear();
    fs::remove_all(target, error);
    if (!error) fs::rename(source, target, error);
  }
  return Text(error);
}

std::string RemoveItem(const std::string& path) {
  std::error_code error;
  fs::remove_all(path, error);
  return Text(error);
}

std::string CopyReplacing(const std::string& source, const std::string& target) {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(source, error))) return "No such file or directory";
  fs::path parent = fs::path(target).parent_path();
  if (!parent.empty()) fs::create_directories(parent, error);
  error.clear();
  if (fs::exists(fs::symlink_status(target))) fs::remove_all(target, error);
  if (!error) {
    fs::copy(source, target, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  }
  return Text(error);
}
