// The file operations the device asks of the computer on its backup folder: create a folder, move, remove and
// copy items. Paths here are local paths already confined to the backup folder (BackupPathMap).
//
// A move replaces its target: an incremental backup moves a changed file over its older copy, and keeping the
// older copy would leave a backup that claims content it does not hold. Each function returns an empty text on
// success, else the system's description of the failure.
//
// Thread safety: pure functions on the file system.
#pragma once

#include <string>

std::string CreateFolderWithParents(const std::string& path);
// Moves `source` onto `target` (replacing a file or folder there; creating the target's parent when missing). A
// source that does not exist is no failure: the device may list an item twice.
std::string MoveReplacing(const std::string& source, const std::string& target);
// Removes a file, or a folder with its whole content; a path that does not exist is no failure.
std::string RemoveItem(const std::string& path);
// Copies a file or a folder (recursively) onto `target`, replacing what is there.
std::string CopyReplacing(const std::string& source, const std::string& target);
