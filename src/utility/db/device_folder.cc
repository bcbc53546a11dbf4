#include "utility/db/device_folder.h"

#include <glog/logging.h>

#include "platform/platform.h"
#include "utility/ios/zeb_afc.h"
#include "utility/process_context.h"

std::string DeviceFolder(const std::string& unique_device_id) {
  if (!IsSafeEntryName(unique_device_id)) {
    LOG(ERROR) << "No device folder for the identifier \"" << unique_device_id << "\"";
    return std::string();
  }
  std::string process_folder = ProcessContext::Get().ProcessFolder(true);
  if (process_folder.empty()) return std::string();
  std::string folder = process_folder + unique_device_id + "/";
  return platform::CreateDirectories(folder) ? folder : std::string();
}
