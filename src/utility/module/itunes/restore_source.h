// Which backup folder a restore reads, and the identifier the device is given for it.
//
// The host names the backup by "sourceDeviceId": the name of a backup folder under the root (as the listing
// reports it in "Path"), or the identifier of the device whose backup is meant (as the listing reports it in
// "Unique Identifier"); for an identifier without a folder of that name, the newest listed backup of that device
// under the root ("<udid>-<time>", the latest time) is taken. The device is told the identifier the backup was
// made under (Info.plist "Target Identifier", else "Unique Identifier"): its requests name that identifier and
// are mapped onto the folder, whatever the folder is called.
//
// Thread safety: pure functions over the file system.
#pragma once

#include <string>

struct RestoreSource {
  std::string folder_name;  // under the root
  std::string identifier;   // what the device's requests begin with
};

// True for a name that can only mean one folder directly under the root (no "/", "\\", NUL, "." or "..").
bool IsSingleFolderName(const std::string& name);

// `source` must be a single folder name.
RestoreSource FindRestoreSource(const std::string& root, const std::string& source);
