// BackupPathMap: where a path named by the device's backup service lies on the computer.
//
// The device names every file and folder of a backup relative to the backup root, beginning with its own
// identifier ("<udid>/Snapshot/ab/<sha1>"). The computer keeps each backup in a folder of its own choosing (the
// identifier plus a time suffix, or a work folder), so the leading identifier is replaced by that folder's name.
//
// The device is untrusted: a path that would leave the backup folder is refused rather than mapped. Refused are
// paths that do not begin with the identifier as their first component, absolute paths, components "." and "..",
// backslashes, NUL bytes, and paths longer than kMaxDevicePath. Empty components ("a//b", a trailing "/") are
// dropped. The mapped path never climbs: it is always the backup folder or lies below it.
//
// Thread safety: immutable after construction.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr size_t kMaxDevicePath = 4096;

class BackupPathMap {
 public:
  // `root` is the folder that holds the backups (a trailing "/" is added when missing); `identifier` the name the
  // device uses for the backup; `folder_name` the name of the backup's folder under `root`.
  BackupPathMap(std::string root, std::string identifier, std::string folder_name);

  // The local path of a device path; false (and *local untouched) when the path is refused.
  bool Map(std::string_view device_path, std::string* local) const;

  const std::string& root() const { return root_; }
  const std::string& identifier() const { return identifier_; }
  // root + folder name + "/".
  const std::string& folder() const { return folder_; }

 private:
  std::string root_;
  std::string identifier_;
  std::string folder_;
};
