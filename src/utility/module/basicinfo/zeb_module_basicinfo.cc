#include "utility/module/basicinfo/zeb_module_basicinfo.h"

#include <glog/logging.h>

#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_monitor.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/ios/zeb_device_values.h"
#include "utility/module/basicinfo/basicinfo_internal.h"
#include "utility/module/command_payload.h"

namespace {

// By "uuid" first; a device whose identity was never read is still found by its "code".
ZEBDeviceConnectionPtr FindDevice(const rapidjson::Document& command) {
  ZEBDeviceMonitor& monitor = ZEBDeviceMonitor::Get();
  std::string uuid = JsonText(command, "uuid");
  if (!uuid.empty()) {
    if (ZEBDeviceConnectionPtr connection = monitor.FindConnection(uuid)) return connection;
  }
  auto code = command.FindMember("code");
  if (code != command.MemberEnd() && code->value.IsUint()) return monitor.FindConnectionByNumber(code->value.GetUint());
  return nullptr;
}

}  // namespace

int ZEBModuleBasicInfo::OnCommand(const bas::IPCPacket& packet) {
  CommandPayload payload = SplitCommandPayload(packet.payload);
  if (payload.marker != 1) return ReportResult(packet, "", kResultOk, "");
  rapidjson::Document command;
  if (!ParseJsonObject(payload.json, &command)) return ReportResult(packet, "", kResultBadJson, "");
  std::string uuid = JsonText(command, "uuid");
  ZEBDeviceConnectionPtr connection = FindDevice(command);
  if (!connection) return ReportResult(packet, uuid, kResultNoDevice, "");

  int code = kResultOk;
  switch (packet.type) {
    case kTypeReannounce:
      code = Reannounce(connection);
      break;
    case kTypeBasicInfo:
      code = SendBasicInfo(packet, connection);
      break;
    case kTypeRename:
      code = basicinfo::RenameDevice(connection->device, payload.rest);
      break;
    default:
      return 0;
  }
  return ReportResult(packet, uuid, code, "");
}

int ZEBModuleBasicInfo::Reannounce(const ZEBDeviceConnectionPtr& connection) {
  if (connection->state == ZEBDeviceConnection::kReady) return kResultOk;
  return ZEBDeviceMonitor::Get().HandleDeviceReady(connection);
}

int ZEBModuleBasicInfo::SendBasicInfo(const bas::IPCPacket& packet, const ZEBDeviceConnectionPtr& connection) {
  AMDeviceRef device = connection->device;
  int error = 0;
  // A device whose file service cannot be started answers nothing else reliably either: say so (12) rather
  // than send a half-read identity.
  ZEBDeviceServicePtr afc = StartService(device, kServiceAfc, &error, {}, true);
  if (!afc) return kResultNoAfc;

  basicinfo::IdentityReport identity = basicinfo::BuildIdentityReport(
      [device](const char* domain, const char* key) { return CopyValue(device, domain, key); }, IsJailbroken(device));
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
  SendProgress(packet, report);

  std::optional<int64_t> cycle_count = basicinfo::ReadCycleCount(device);
  report.info = basicinfo::BuildUsageReport(cycle_count, basicinfo::ReadStorageFigures(device));
  LOG(INFO) << report.info;
  SendProgress(packet, report);
  return kResultOk;
}
