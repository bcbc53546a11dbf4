#include "utility/ios/zeb_direct_service.h"

#include <glog/logging.h>

#include <cstdint>

#include "utility/ios/device_handles.h"
#include "utility/ios/zeb_afc.h"

std::unique_ptr<ZEBDirectService> ZEBDirectService::Start(const ZEBDeviceConnection& record, const char* name) {
  AMDeviceRef device = DeviceHandles::Device(record);
  int error = 0;
  ZEBDeviceSessionPtr session = GetSession(device, &error);
  AMDServiceConnectionRef connection = nullptr;
  if (session && AMDeviceSecureStartService(device, name, false, &connection) == kAMDSuccess) {
    return std::unique_ptr<ZEBDirectService>(new ZEBDirectService(std::move(session), connection));
  }
  // The session may have gone stale (the device slept, or another user stopped it): one more try on a new one.
  session = OpenSession(device, &error);
  connection = nullptr;
  if (session && AMDeviceSecureStartService(device, name, false, &connection) == kAMDSuccess) {
    return std::unique_ptr<ZEBDirectService>(new ZEBDirectService(std::move(session), connection));
  }
  LOG(INFO) << "Could not start " << name << " (session error " << error << ")";
  return nullptr;
}

ZEBDirectService::~ZEBDirectService() { AMDServiceConnectionInvalidate(connection_); }

bool ZEBDirectService::SendAndReceive(std::string_view message, const MessageHandler& handler) {
  return ::SendAndReceive(connection_, message, handler);
}

bool ZEBDirectService::SendLittleEndian(std::string_view body) {
  uint32_t length = static_cast<uint32_t>(body.size());
  char prefix[4] = {static_cast<char>(length), static_cast<char>(length >> 8), static_cast<char>(length >> 16),
                    static_cast<char>(length >> 24)};
  if (AMDServiceConnectionSend(connection_, prefix, sizeof prefix) < 0) return false;
  return AMDServiceConnectionSend(connection_, body.data(), body.size()) >= 0;
}

bool ZEBDirectService::ReceiveExactly(char* buffer, size_t length) {
  return ::ReceiveExactly(connection_, buffer, length);
}

std::optional<std::string_view> ReceiveLittleEndianMessage(const ReceiveExactlyFunc& receive_exactly) {
  unsigned char prefix[4];
  if (!receive_exactly(reinterpret_cast<char*>(prefix), sizeof prefix)) return std::nullopt;
  uint32_t length = uint32_t{prefix[0]} | (uint32_t{prefix[1]} << 8) | (uint32_t{prefix[2]} << 16) |
                    (uint32_t{prefix[3]} << 24);
  if (length == 0) return std::nullopt;
  if (length > kTransferChunk) {
    LOG(ERROR) << "Refused a little-endian framed message of " << length << " bytes";
    return std::nullopt;
  }
  char* buffer = TransferBuffer();
  if (!receive_exactly(buffer, length)) return std::nullopt;
  return std::string_view(buffer, length);
}
