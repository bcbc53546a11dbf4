// Storage use by category from the air-traffic service ("com.apple.atc"), whose messages the device layer frames
// with a little-endian length.
#include <glog/logging.h>

#include "iOSAPI/plist_message.h"
#include "utility/ios/zeb_direct_service.h"
#include "utility/module/basicinfo/basicinfo_internal.h"

namespace basicinfo {
namespace {

constexpr const char* kAirTrafficService = "com.apple.atc";
constexpr std::string_view kPowerAssertion =
    "<plist version=\"1.0\"><dict><key>Command</key><string>PowerAssertion</string>"
    "<key>Params</key><dict><key>Enabled</key><true/></dict>"
    "<key>Session</key><integer>0</integer></dict></plist>";
// A device that keeps talking without ever sending its figures must not hold the worker for good.
constexpr int kMaxSkippedMessages = 64;

}  // namespace

StorageFigures ReadStorageFigures(const ZEBDeviceConnection& device) {
  StorageFigures figures;
  std::unique_ptr<ZEBDirectService> service = ZEBDirectService::Start(device, kAirTrafficService);
  if (!service) return figures;
  std::optional<std::string> assertion =
      MakeMessage(std::string(kPlistHeaderAppleComputer) + std::string(kPowerAssertion));
  if (!assertion || !service->SendLittleEndian(*assertion)) return figures;
  return ReadAirTrafficFigures(
      [&service](char* buffer, size_t length) { return service->ReceiveExactly(buffer, length); });
}

StorageFigures ReadAirTrafficFigures(const ReceiveExactlyFunc& receive_exactly) {
  StorageFigures figures;
  for (int skipped = 0; skipped <= kMaxSkippedMessages; ++skipped) {
    std::optional<std::string_view> body = ReceiveLittleEndianMessage(receive_exactly);
    if (!body) return figures;
    std::string name = MessageName(body->data(), body->size());
    if (name.empty()) {
      LOG(ERROR) << "Refused an air-traffic message that cannot be named (" << body->size() << " bytes)";
      return figures;
    }
    if (name == "Ping" || name == "IdleExit") return figures;
    if (name != "AssetMetrics") continue;
    PlistValue message;
    if (!ParseMessage(body->data(), body->size(), &message)) return figures;
    const PlistValue* params = message.FindDict("Params");
    return params ? EvaluateAssetMetrics(*params) : figures;
  }
  return figures;
}

}  // namespace basicinfo
