// The battery's cycle count, from the power-source entry of the diagnostics relay's I/O registry.
#include "iOSAPI/plist_message.h"
#include "utility/ios/zeb_direct_service.h"
#include "utility/module/basicinfo/basicinfo_internal.h"

namespace basicinfo {
namespace {

constexpr const char* kDiagnosticsService = "com.apple.mobile.diagnostics_relay";
constexpr std::string_view kPowerSourceRequest =
    "<plist version=\"1.0\"><dict><key>EntryClass</key><string>IOPMPowerSource</string>"
    "<key>Request</key><string>IORegistry</string></dict></plist>";

}  // namespace

std::optional<int64_t> ReadCycleCount(const ZEBDeviceConnection& device) {
  std::unique_ptr<ZEBDirectService> service = ZEBDirectService::Start(device, kDiagnosticsService);
  if (!service) return std::nullopt;
  std::optional<std::string> request = MakeMessage(std::string(kPlistHeaderAppleComputer) + std::string(kPowerSourceRequest));
  if (!request) return std::nullopt;
  std::optional<int64_t> cycle_count;
  service->SendAndReceive(*request, [&cycle_count](std::string_view message) {
    PlistValue answer;
    if (!ParseMessage(message.data(), message.size(), &answer)) return false;
    const PlistValue* diagnostics = answer.FindDict("Diagnostics");
    const PlistValue* registry = diagnostics ? diagnostics->FindDict("IORegistry") : nullptr;
    if (registry) cycle_count = registry->FindInteger("CycleCount");
    return false;  // one answer is all there is
  });
  return cycle_count;
}

}  // namespace basicinfo
