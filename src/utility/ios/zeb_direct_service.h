// ZEBDirectService: a service started directly on the device's session for one short exchange, outside the shared
// service registry (the diagnostics relay and the air-traffic service answer once and are done). One attempt on
// the device's session, then a fresh session and one more; the connection is invalidated when the object goes.
//
// Most services frame their messages with a 32-bit big-endian length (zeb_service_messages.h); the air-traffic
// service uses a little-endian one, which this file also reads and writes.
//
// Thread safety: one exchange at a time per service object.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "iOSAPI/mobile_device.h"
#include "utility/ios/zeb_device.h"
#include "utility/ios/zeb_device_connection.h"
#include "utility/ios/zeb_service_messages.h"

class ZEBDirectService {
 public:
  static std::unique_ptr<ZEBDirectService> Start(const ZEBDeviceConnection& device, const char* name);
  ~ZEBDirectService();
  ZEBDirectService(const ZEBDirectService&) = delete;
  ZEBDirectService& operator=(const ZEBDirectService&) = delete;

  // A big-endian framed message and its answers (see SendAndReceive in zeb_service_messages.h).
  bool SendAndReceive(std::string_view message, const MessageHandler& handler);
  // A message behind a 32-bit little-endian length.
  bool SendLittleEndian(std::string_view body);
  bool ReceiveExactly(char* buffer, size_t length);

 private:
  ZEBDirectService(ZEBDeviceSessionPtr session, AMDServiceConnectionRef connection)
      : session_(std::move(session)), connection_(connection) {}

  const ZEBDeviceSessionPtr session_;  // the service runs on this session
  const AMDServiceConnectionRef connection_;
};

// Fills the buffer with exactly that many bytes of a stream, or says false.
using ReceiveExactlyFunc = std::function<bool(char* buffer, size_t length)>;

// The next message behind a 32-bit little-endian length, in the thread's transfer buffer; nothing when the
// exchange ends (a zero length, a failed or short read, or a body over the 4 MiB transfer buffer).
std::optional<std::string_view> ReceiveLittleEndianMessage(const ReceiveExactlyFunc& receive_exactly);
