#include "utility/module/itunes/restore_source.h"

#include <filesystem>

#include "utility/module/itunes/backup_summary.h"

namespace fs = std::filesystem;

bool IsSingleFolderName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

RestoreSource FindRestoreSource(const std::string& root, const std::string& source) {
  RestoreSource found{source, source};
  std::error_code error;
  if (!fs::is_directory(fs::path(root) / source, error)) {
    std::string newest;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
      std::string name = it->path().filename().string();
      if (name.compare(0, source.size() + 1, source + "-") != 0 || !IsListedBackup(it->path().string())) continue;
      if (name > newest) newest = name;
    }
    if (!newest.empty()) found.folder_name = newest;
  }
  if (auto info = ReadPlistDict((fs::path(root) / found.folder_name / "Info.plist").string())) {
    std::optional<std::string> identifier = info->FindString("Target Identifier");
    if (!identifier) identifier = info->FindString("Unique Identifier");
    if (identifier && IsSingleFolderName(*identifier)) found.identifier = *identifier;
  }
  return found;
}
