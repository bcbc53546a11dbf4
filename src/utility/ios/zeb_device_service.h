// ZEBDeviceService: one started device service, shared by its users and closed when the last one lets go.
//
// Starting a service needs the device's session (one is opened when there is none) and is tried five times; a
// device locked with a passcode makes every attempt fail, which is error 48. "com.apple.afc" is shared: all users
// of one device get the same service (and AFC connection) while any of them holds it. Every start runs under one
// process-wide service lock; a start of any other service also waits while the device's backup service is busy.
//
// Creating and destroying a service print a line to standard output ("ZEBDeviceService: ..." and
// "~ZEBDeviceService: ...") with the object's address and the service name.
//
// Users hold the service object and hand it to the device layer (the file operations of zeb_afc.h, the messages
// below); its library handles are the layer's own (device_handles.h).
//
// Thread safety: every function may be called from any thread; a service object may be used from several
// threads (AFC requests are serialised inside the AFC connection).
#pragma once

#include <memory>
#include <string>

#include "iOSAPI/mobile_device.h"
#include "utility/ios/zeb_device.h"
#include "utility/ios/zeb_service_messages.h"

class ZEBDeviceConnection;

inline constexpr const char* kServiceAfc = "com.apple.afc";
inline constexpr const char* kServiceAfc2 = "com.apple.afc2";
inline constexpr const char* kServiceBackup = "com.apple.mobilebackup2";

class ZEBDeviceService {
 public:
  ZEBDeviceService(AMDeviceRef device, ZEBDeviceSessionPtr session, AMDServiceConnectionRef service_connection,
                   AFCConnectionRef afc_connection, std::string service_name);
  ~ZEBDeviceService();
  ZEBDeviceService(const ZEBDeviceService&) = delete;
  ZEBDeviceService& operator=(const ZEBDeviceService&) = delete;

  const std::string name;

 private:
  friend struct DeviceHandles;
  const AMDServiceConnectionRef connection_;
  const AFCConnectionRef afc_;  // null for services without AFC
  const AMDeviceRef device_;
  const ZEBDeviceSessionPtr session_;  // keeps the session open while the service lives
};

using ZEBDeviceServicePtr = std::shared_ptr<ZEBDeviceService>;

struct ServiceOptions {
  bool unlock_escrow_bag = false;  // only the backup service asks for it
  // "com.apple.afc" only: a connection of the caller's own instead of the shared one, for requests that are to
  // run beside the shared connection's (each connection answers its requests one after another).
  bool own_connection = false;
};

// Forgets the device's shared file service (at detachment); users that still hold it keep it.
void ForgetDeviceServices(AMDeviceRef device);

// Starts (or, for "com.apple.afc", shares) a service; `with_afc` opens an AFC connection on it. On failure returns
// null and sets *error to the code when one is known (48, or the session's code), leaving it unchanged otherwise.
ZEBDeviceServicePtr StartService(const ZEBDeviceConnection& device, const std::string& name, int* error,
                                 ServiceOptions options = {}, bool with_afc = false);

// The property-list exchanges of zeb_service_messages.h on a started service, so that callers above the device
// layer never hold the service's connection.
bool SendMessage(const ZEBDeviceService& service, std::string_view message);
bool ReceiveMessages(const ZEBDeviceService& service, const MessageHandler& handler);
bool SendAndReceive(const ZEBDeviceService& service, std::string_view message, const MessageHandler& handler);
