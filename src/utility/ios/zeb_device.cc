#include "utility/ios/zeb_device.h"

#include <glog/logging.h>

#include <map>
#include <mutex>

namespace {

struct Registries {
  std::mutex device_mutex;  // guards devices and connection_counts
  std::map<AMDeviceRef, std::weak_ptr<ZEBDevice>> devices;
  std::map<AMDeviceRef, int> connection_counts;  // live ZEBDevice objects per device
  std::mutex session_mutex;  // guards sessions
  std::map<AMDeviceRef, std::weak_ptr<ZEBDeviceSession>> sessions;
};

Registries& Get() {
  static Registries* registries = new Registries();
  return *registries;
}

ZEBDevicePtr GetDeviceLocked(Registries& r, AMDeviceRef device) {
  auto it = r.devices.find(device);
  return it == r.devices.end() ? nullptr : it->second.lock();
}

ZEBDeviceSessionPtr OpenSessionLocked(Registries& r, AMDeviceRef device, int* error) {
  int ignored = 0;
  ZEBDevicePtr connection = GetDevice(device, &ignored);
  if (!connection) connection = RenewDevice(device);
  if (!connection) {
    *error = kErrorNotConnected;
    return nullptr;
  }
  if (AMDeviceIsPaired(device) == 0) {
    // The device now asks its user whether to trust this computer; the answer comes back as a paired message.
    AMDevicePair(device);
    *error = kErrorNotPaired;
    return nullptr;
  }
  if (AMDeviceValidatePairing(device) != kAMDSuccess) {
    *error = kErrorPairingInvalid;
    return nullptr;
  }
  // The first start and stop clear any session left open on the device.
  AMDeviceStartSession(device);
  AMDeviceStopSession(device);
  if (AMDeviceStartSession(device) != kAMDSuccess) {
    *error = kErrorSessionFailed;
    return nullptr;
  }
  auto session = std::make_shared<ZEBDeviceSession>(std::move(connection), AMDeviceGetSessionID(device));
  r.sessions[device] = session;
  *error = 0;
  return session;
}

}  // namespace

ZEBDevice::~ZEBDevice() {
  Registries& r = Get();
  std::lock_guard<std::mutex> lock(r.device_mutex);
  // The device has one lockdown connection; it closes with the last object that uses it.
  if (--r.connection_counts[device] == 0) {
    r.connection_counts.erase(device);
    AMDeviceDisconnect(device);
  }
}

ZEBDeviceSession::~ZEBDeviceSession() { AMDeviceStopSession(device, session_id_); }

ZEBDevicePtr ConnectDevice(AMDeviceRef device) {
  if (AMDeviceConnect(device) != kAMDSuccess) {
    AMDeviceDisconnect(device);
    if (AMDeviceConnect(device) != kAMDSuccess) return nullptr;
  }
  Registries& r = Get();
  ++r.connection_counts[device];  // REQUIRES: device_mutex held by the caller
  return ZEBDevicePtr(new ZEBDevice(AMDeviceShare(device), AMDeviceGetConnectionID(device)));
}

ZEBDevicePtr GetDevice(AMDeviceRef device, int* error) {
  Registries& r = Get();
  std::lock_guard<std::mutex> lock(r.device_mutex);
  if (ZEBDevicePtr live = GetDeviceLocked(r, device)) return live;
  ZEBDevicePtr connected = ConnectDevice(device);
  if (!connected) {
    *error = kErrorNotConnected;
    return nullptr;
  }
  r.devices[device] = connected;
  return connected;
}

ZEBDevicePtr RenewDevice(AMDeviceRef device) {
  Registries& r = Get();
  std::lock_guard<std::mutex> lock(r.device_mutex);
  // A connection nobody uses any more may be stale: start afresh.
  if (r.connection_counts.count(device) == 0) AMDeviceDisconnect(device);
  ZEBDevicePtr connected = ConnectDevice(device);
  if (connected) r.devices[device] = connected;
  return connected;
}

ZEBDeviceSessionPtr GetSession(AMDeviceRef device, int* error) {
  Registries& r = Get();
  std::lock_guard<std::mutex> lock(r.session_mutex);
  auto it = r.sessions.find(device);
  if (it != r.sessions.end()) {
    if (ZEBDeviceSessionPtr live = it->second.lock()) return live;
  }
  return OpenSessionLocked(r, device, error);
}

ZEBDeviceSessionPtr OpenSession(AMDeviceRef device, int* error) {
  Registries& r = Get();
  std::lock_guard<std::mutex> lock(r.session_mutex);
  return OpenSessionLocked(r, device, error);
}

void ForgetDevice(AMDeviceRef device) {
  Registries& r = Get();
  {
    std::lock_guard<std::mutex> lock(r.session_mutex);
    r.sessions.erase(device);
  }
  std::lock_guard<std::mutex> lock(r.device_mutex);
  r.devices.erase(device);
}
