// Storage use by category from the air-traffic service ("com.apple.atc"). Unlike the other services it frames
// each message with a 32-bit length in little-endian order.
#include <glog/logging.h>

#include "iOSAPI/plist_message.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_service_messages.h"
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

bool SendLittleEndian(AMDServiceConnectionRef connection, std::string_view body) {
  uint32_t length = static_cast<uint32_t>(body.size());
  char prefix[4] = {static_cast<char>(length), static_cast<char>(length >> 8), static_cast<char>(length >> 16),
                    static_cast<char>(length >> 24)};
  AMDServiceConnectionSend(connection, prefix, sizeof prefix);
  return AMDServiceConnectionSend(connection, body.data(), body.size()) >= 0;
}

// The next message body, in the thread's transfer buffer; nothing when the exchange ends (a zero length, a
// failed or short read, or a body the buffer cannot hold).
std::optional<std::string_view> ReceiveLittleEndian(const ReceiveExactlyFunc& receive_exactly) {
  unsigned char prefix[4];
  if (!receive_exactly(reinterpret_cast<char*>(prefix), sizeof prefix)) return std::nullopt;
  uint32_t length = uint32_t{prefix[0]} | (uint32_t{prefix[1]} << 8) | (uint32_t{prefix[2]} << 16) |
                    (uint32_t{prefix[3]} << 24);
  if (length == 0) return std::nullopt;
  if (length > kTransferChunk) {
    LOG(ERROR) << "Refused an air-traffic message of " << length << " bytes";
    return std::nullopt;
  }
  char* buffer = TransferBuffer();
  if (!receive_exactly(buffer, length)) return std::nullopt;
  return std::string_view(buffer, length);
}

}  // namespace

StorageFigures ReadStorageFigures(AMDeviceRef device) {
  StorageFigures figures;
  std::unique_ptr<DirectService> service = DirectService::Start(device, kAirTrafficService);
  if (!service) return figures;
  std::optional<std::string> assertion =
      MakeMessage(std::string(kPlistHeaderAppleComputer) + std::string(kPowerAssertion));
  if (!assertion || !SendLittleEndian(service->connection(), *assertion)) return figures;
  AMDServiceConnectionRef connection = service->connection();
  return ReadAirTrafficFigures(
      [connection](char* buffer, size_t length) { return ReceiveExactly(connection, buffer, length); });
}

StorageFigures ReadAirTrafficFigures(const ReceiveExactlyFunc& receive_exactly) {
  StorageFigures figures;
  for (int skipped = 0; skipped <= kMaxSkippedMessages; ++skipped) {
    std::optional<std::string_view> body = ReceiveLittleEndian(receive_exactly);
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
