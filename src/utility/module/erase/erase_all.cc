// 1700: the media folders emptied, the user applications uninstalled, then the device restored from a backup.
#include <glog/logging.h>

#include <utility>
#include <vector>

#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/app/app_browse.h"
#include "utility/module/erase/erase_internal.h"

namespace {

constexpr const char* kInstallationProxy = "com.apple.mobile.installation_proxy";
constexpr int kCodeNoFileService = 17;
constexpr int kCodeNoProxy = 14;
constexpr int kCodeNoRestore = 2;
constexpr int kStageFolders = 0;
constexpr int kStageApplications = 2;
constexpr int kFirstProgress = 4;

// The folders whose content goes, in order, with the progress value sent after each.
const std::pair<const char*, int> kMediaFolders[] = {
    {"/PhotoData/Thumbnails", 8},     {"/PhotoData/MISC", 13},
    {"/PhotoData/Metadata", 17},      {"/PhotoData/Videos", 21},
    {"/PhotoData/AlbumsMetadata", 26}, {"/PhotoData/Logs", 30},
    {"/PhotoData/Caches", 34},        {"/PhotoData/PhotoCloudSharingData", 39},
    {"/Photos", 43},                  {"/PhotoStreamsData", 47},
    {"/DCIM", 52},                    {"/iTunes_Control/Music", 56},
    {"/iTunes_Control/Artwork", 60},  {"/iTunes_Control/iTunes/Artwork", 65},
    {"/iTunes_Control/Sync", 69},     {"/iTunes_Control", 73},
    {"/Books", 78},                   {"/Podcasts", 82},
    {"/Purchases", 86},               {"/Radio", 91},
    {"/Recordings", 95},              {"/Downloads", 100},
};

void EmptyMediaFolders(const ZEBCommand& command, const ZEBDeviceService& afc) {
  SendPercent(command, kStageFolders, kFirstProgress);
  for (const auto& [folder, progress] : kMediaFolders) {
    RemoveTree(afc, folder, /*remove_top=*/false);  // a folder the device lacks or refuses is passed over
    SendPercent(command, kStageFolders, progress);
  }
}

void UninstallUserApplications(const ZEBCommand& command, ZEBDeviceServicePtr proxy) {
  std::vector<std::string> bundle_ids;
  if (!BrowseUserApplications(*proxy, &bundle_ids)) {
    LOG(ERROR) << "Erase: the application list ended early; " << bundle_ids.size() << " applications listed";
    int error = 0;
    proxy = StartService(*command.device(), kInstallationProxy, &error);  // the old exchange is spoilt
  }
  size_t done = 0;
  for (const std::string& bundle_id : bundle_ids) {
    if (proxy) UninstallApplication(*proxy, bundle_id);  // a refusal does not stop the erase
    ++done;
    SendPercent(command, kStageApplications, static_cast<int>(done * 100 / bundle_ids.size()));
  }
  if (bundle_ids.empty()) SendPercent(command, kStageApplications, 100);
}

}  // namespace

EraseResult RunEraseAll(ZEBCommand& command, const rapidjson::Value& parameters,
                        const EraseRestoreOperation& restore) {
  const ZEBDeviceConnection& device = *command.device();
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(device, kServiceAfc, &error, {}, true);
  if (!afc) return {kCodeNoFileService, "open afc error"};
  ZEBDeviceServicePtr proxy = StartService(device, kInstallationProxy, &error);
  if (!proxy) return {kCodeNoProxy, "open app uninstall service error"};
  EmptyMediaFolders(command, *afc);
  UninstallUserApplications(command, std::move(proxy));
  afc.reset();
  if (!restore) return {kCodeNoRestore, "restore is not available"};
  EraseResult result;
  result.code = restore(command, command.device(), parameters, &result.message);
  return result;
}
