// 504: install packages one after the other: read, tell the host, fetch the store icon, upload, install.
#include <glog/logging.h>

#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/app/app_command.h"
#include "utility/module/app/app_icon_download.h"
#include "utility/module/app/app_messages.h"
#include "utility/module/app/app_package.h"
#include "utility/module/app/app_table.h"
#include "utility/module/zeb_module.h"

namespace {

void SendStoreIcon(AppCommand& command, const std::string& bundle_id, const std::string& url) {
  std::string image, reason;
  if (!DownloadStoreIcon(url, &image, &reason)) {
    LOG(ERROR) << "No store icon for " << bundle_id << " from " << url << ": " << reason;
    return;
  }
  command.report(StoreIconReport(command.uuid, bundle_id, url, image));
}

// Everything for one package; the outcome report is always the last one sent for it.
ItemOutcome InstallPackage(AppCommand& command, const ZEBDeviceService& afc, const ZEBDeviceService& proxy,
                           const std::string& local_path) {
  ItemOutcome outcome;
  AppPackage package;
  std::string reason;
  PackageStatus status = ReadAppPackage(local_path, &package, &reason);
  if (status != PackageStatus::kOk) {
    LOG(ERROR) << "Skipped the package " << local_path << ": " << reason;
    outcome.error = status == PackageStatus::kUnsafeIdentifier ? "UnsafeBundleIdentifier" : "PackageUnreadable";
    return outcome;
  }
  AppObject app;
  AddBundleMembers(package.info, &app);
  AddStoreMetadataBytes(package.store_metadata, &app);
  std::string json = app.ToJson();
  command.report(PackageInfoReport(command.uuid, package.bundle_id, local_path, json));
  if (auto url = app.Text("softwareIcon57x57URL")) SendStoreIcon(command, package.bundle_id, *url);

  std::string device_path = std::string(kPackageFolder) + "/" + package.bundle_id + ".ipa";
  if (MakeDirectory(afc, kPackageFolder) != 1 ||
      !UploadFile(afc, local_path, device_path)) {
    LOG(ERROR) << "Could not upload " << local_path << " to " << device_path;
    RemovePath(afc, device_path);  // no partial package left on the device
    outcome.bundle_id = package.bundle_id;
    outcome.error = "UploadFailed";
    return outcome;
  }
  return RunProxyOperation(command, proxy, InstallMessage(device_path), package.bundle_id);
}

}  // namespace

int RunInstall(AppCommand& command) {
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(command.device(), kServiceAfc, &error, {}, true);
  if (!afc) return protocol::kResultNoFileService;
  ZEBDeviceServicePtr proxy = StartService(command.device(), kServiceInstallationProxy, &error);
  if (!proxy) return protocol::kResultNoService;
  for (const std::string& local_path : command.arguments) {
    if (command.Aborted()) return ZEBModule::kResultAborted;
    ItemOutcome outcome = InstallPackage(command, *afc, *proxy, local_path);
    outcome.package = local_path;
    command.report(OutcomeReport(command.uuid, outcome));
    if (!RenewAfterBrokenExchange(command, outcome, &proxy)) return protocol::kResultNoService;
  }
  return 0;
}
