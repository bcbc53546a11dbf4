#include "utility/module/basicinfo/zeb_module_basicinfo.h"

#include <glog/logging.h>

#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_monitor.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/ios/zeb_device_values.h"
#include "utility/module/basicinfo/basicinfo_internal.h"

int ZEBModuleBasicInfo::OnCommand(ZEBCommand& command) {
  switch (command.type()) {
    case protocol::kTypeReannounce:
      return Reannounce(command.device());
    case protocol::kTypeBasicInfo:
      return SendBasicInfo(command);
    case protocol::kTypeRename:
      return basicinfo::RenameDevice(*command.device(), command.data());
    default:
      return ZEBCommand::kNoReport;
  }
}

int ZEBModuleBasicInfo::Reannounce(const ZEBDeviceConnectionPtr& connection) {
  if (connection->state == ZEBDeviceConnection::kReady) return kResultOk;
  return ZEBDeviceMonitor::Get().HandleDeviceReady(connection);
}

int ZEBModuleBasicInfo::SendBasicInfo(const ZEBCommand& command) {
  const ZEBDeviceConnectionPtr& connection = command.device();
  const ZEBDeviceConnection& device = *connection;
  int error = 0;
  // A device whose file service cannot be started answers nothing else reliably either: say so (12) rather
  // than send a half-read identity.
  ZEBDeviceServicePtr afc = StartService(device, kServiceAfc, &error, {}, true);
  if (!afc) return protocol::kResultNoFileService;

  basicinfo::IdentityReport identity = basicinfo::BuildIdentityReport(
      [&device](const char* domain, const char* key) { return CopyValue(device, domain, key); }, IsJailbroken(device));
  if (!identity.product_type.empty()) LOG(INFO) << "ProductType: " << identity.product_type;
  if (!identity.product_version.empty()) {
    LOG(INFO) << "ProductVersion: " << identity.product_version;
    connection->SetProductVersionUtf8(identity.product_version);
  }
  if (!identity.model_number.empty()) LOG(INFO) << "ModelNumber: " << identity.model_number;
  LOG(INFO) << identity.json;
  TaskReport report;
  report.stage = 2;
  report.uuid = connection->UniqueDeviceID();
  report.info = identity.json;
  command.SendProgress(report);

  std::optional<int64_t> cycle_count = basicinfo::ReadCycleCount(device);
  report.info = basicinfo::BuildUsageReport(cycle_count, basicinfo::ReadStorageFigures(device));
  LOG(INFO) << report.info;
  command.SendProgress(report);
  return kResultOk;
}
