// Command 701's work on one item: a device file, folder or book folder copied into the local target folder.
#include <glog/logging.h>

#include <filesystem>
#include <system_error>

#include "utility/module/file/file_internal.h"

namespace file {

std::string UniqueLocalName(const std::string& local_name, std::set<std::string>* taken) {
  if (taken->insert(local_name).second) return local_name;
  size_t dot = local_name.find_last_of('.');
  if (dot == 0 || dot == std::string::npos) dot = local_name.size();
  for (int n = 2;; ++n) {
    std::string candidate = local_name.substr(0, dot) + " (" + std::to_string(n) + ")" + local_name.substr(dot);
    if (taken->insert(candidate).second) return candidate;
  }
}

bool ExportItem(const ZEBDeviceService& afc, const std::string& device_path, const std::string& target_folder,
                const std::string& scratch_folder, std::set<std::string>* taken, ExportedItem* item) {
  std::string name = ItemName(device_path);
  std::string local_name = LocalFileName(name);
  if (!IsSafeEntryName(local_name)) {
    LOG(ERROR) << "Skipped an export item whose name cannot be a local file name: " << device_path;
    return false;
  }
  ZEBFileInfo info;
  if (!GetFileInfo(afc, device_path, &info)) return false;
  bool plain_folder = info.IsDirectory() && !IsBookFolder(name);
  if (plain_folder) local_name += ".folder";
  local_name = UniqueLocalName(local_name, taken);
  if (!IsSafeEntryName(local_name)) return false;
  std::string local_path = ChildPath(target_folder, local_name);
  bool ok = false;
  if (info.IsDirectory() && !plain_folder) {
    ok = DownloadTree(afc, device_path, scratch_folder) && ZipFolder(scratch_folder, local_path);
    std::error_code ignored;
    std::filesystem::remove_all(scratch_folder, ignored);
  } else if (plain_folder) {
    ok = DownloadTree(afc, device_path, local_path);
  } else if (info.IsRegularFile()) {
    ok = DownloadFile(afc, device_path, local_path);
  }
  if (!ok) {
    LOG(ERROR) << "Skipped the export item " << device_path;
    return false;
  }
  item->native_path = local_path;
  item->name = name;
  return true;
}

}  // namespace file
