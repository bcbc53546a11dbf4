#include "utility/backup/backup_paths.h"

namespace {

bool IsSafeComponent(std::string_view part) {
  if (part == "." || part == "..") return false;
  return part.find('\\') == std::string_view::npos && part.find('\0') == std::string_view::npos;
}

}  // namespace

BackupPathMap::BackupPathMap(std::string root, std::string identifier, std::string folder_name)
    : root_(std::move(root)), identifier_(std::move(identifier)) {
  if (root_.empty() || root_.back() != '/') root_ += '/';
  folder_ = root_ + folder_name + "/";
}

bool BackupPathMap::Map(std::string_view device_path, std::string* local) const {
  if (device_path.size() > kMaxDevicePath || identifier_.empty()) return false;
  if (device_path.substr(0, identifier_.size()) != identifier_) return false;
  std::string_view rest = device_path.substr(identifier_.size());
  if (!rest.empty() && rest.front() != '/') return false;  // "<udid>x/..." names another folder
  std::string mapped = folder_;
  while (!rest.empty()) {
    rest.remove_prefix(1);  // the "/" before the component
    size_t end = rest.find('/');
    std::string_view part = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    if (part.empty()) continue;
    if (!IsSafeComponent(part)) return false;
    mapped.append(part);
    mapped += '/';
  }
  mapped.pop_back();  // the folder itself keeps no trailing "/"; files never have one
  *local = std::move(mapped);
  return true;
}
