// The summary of a backup folder the host lists (1602), read from its Info.plist and Manifest.plist.
//
// Thread safety: pure functions over the file system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "iOSAPI/plist_value.h"

// A property-list file whose root is a dictionary; nullopt when it cannot be read as one.
std::optional<PlistValue> ReadPlistDict(const std::string& path);

// True when the folder holds Info.plist, Manifest.plist and Status.plist.
bool IsListedBackup(const std::string& folder);
// The summary as a JSON object; with `size` the "Size" member is added. Empty when Info.plist cannot be read.
std::string BackupSummaryJson(const std::string& folder, std::optional<uint64_t> size);
// The total size of the files below the folder.
uint64_t FolderSize(const std::string& folder);
