// The device entry points that talk to lockdown: connecting, pairing, sessions and values.
#include <cstdlib>

#include "iOSAPI/am_device_internal.h"
#include "iOSAPI/mobile_export_fun.h"
#include "iOSAPI/plist_convert_internal.h"

namespace {

constexpr const char* kLabel = "Corvane";
// From this major system version on, a pairing is validated by starting a session with it.
constexpr int kSessionValidatesFrom = 7;

struct PlistOwner {
  plist_t node = nullptr;
  ~PlistOwner() {
    if (node != nullptr) plist_free(node);
  }
};

std::string HostId(const std::string& udid) {
  std::optional<PlistValue> record = ReadPairRecord(udid);
  if (!record) return std::string();
  return record->FindString("HostID").value_or(std::string());
}

int MajorVersion(const std::string& version) { return std::atoi(version.c_str()); }

int32_t StartSessionLocked(AMDevice& device) {
  if (device.lockdown == nullptr) return kAMDNotConnected;
  std::string host_id = HostId(device.udid);
  if (host_id.empty()) return kAMDInvalidHostID;
  char* session_id = nullptr;
  int ssl = 0;
  lockdownd_error_t error = Lib().lockdownd_start_session(device.lockdown, host_id.c_str(), &session_id, &ssl);
  if (session_id != nullptr) {
    device.session_id = session_id;
    std::free(session_id);
  }
  return FromLockdownError(error);
}

int32_t StopSessionLocked(AMDevice& device) {
  if (device.lockdown == nullptr || device.session_id.empty()) return kAMDSessionInactive;
  lockdownd_error_t error = Lib().lockdownd_stop_session(device.lockdown, device.session_id.c_str());
  device.session_id.clear();
  return FromLockdownError(error);
}

void DisconnectLocked(AMDevice& device) {
  if (device.lockdown != nullptr) Lib().lockdownd_client_free(device.lockdown);
  if (device.idevice != nullptr) Lib().idevice_free(device.idevice);
  device.lockdown = nullptr;
  device.idevice = nullptr;
  device.session_id.clear();
}

}  // namespace

AMDevice::~AMDevice() {
  if (CMobileExportFun::GetInstance().IsInitialised()) DisconnectLocked(*this);
}

std::optional<PlistValue> ReadPairRecord(const std::string& udid) {
  char* data = nullptr;
  uint32_t size = 0;
  if (Lib().usbmuxd_read_pair_record(udid.c_str(), &data, &size) < 0 || data == nullptr) return std::nullopt;
  PlistOwner record;
  plist_from_memory(data, size, &record.node);
  std::free(data);
  PlistValue value;
  if (record.node == nullptr || !FromPlist(record.node, DataForm::kBytes, &value)) return std::nullopt;
  return value;
}

AMDeviceHandle AMDeviceShare(AMDeviceRef device) { return device != nullptr ? device->shared_from_this() : nullptr; }

std::string AMDeviceGetUDID(AMDeviceRef device) { return device->udid; }

int AMDeviceGetInterfaceType(AMDeviceRef device) { return device->usb ? kAMDInterfaceUsb : kAMDInterfaceNetwork; }

uint32_t AMDeviceGetConnectionID(AMDeviceRef device) { return device->handle; }

int32_t AMDeviceConnect(AMDeviceRef device) {
  std::lock_guard<std::mutex> lock(device->mutex);
  if (device->lockdown != nullptr) return kAMDSuccess;
  if (device->idevice == nullptr &&
      Lib().idevice_new_with_options(&device->idevice, device->udid.c_str(), IDEVICE_LOOKUP_USBMUX) != IDEVICE_E_SUCCESS) {
    device->idevice = nullptr;
    return kAMDNotConnected;
  }
  lockdownd_error_t error = Lib().lockdownd_client_new(device->idevice, &device->lockdown, kLabel);
  if (error != LOCKDOWN_E_SUCCESS) {
    device->lockdown = nullptr;
    return FromLockdownError(error);
  }
  // The system version decides how a pairing is validated; it can be read before any session.
  PlistOwner version;
  if (Lib().lockdownd_get_value(device->lockdown, nullptr, "ProductVersion", &version.node) == LOCKDOWN_E_SUCCESS &&
      version.node != nullptr && plist_get_node_type(version.node) == PLIST_STRING) {
    PlistValue text;
    if (FromPlist(version.node, DataForm::kBytes, &text)) device->product_version = text.Text();
  }
  return kAMDSuccess;
}

int32_t AMDeviceDisconnect(AMDeviceRef device) {
  std::lock_guard<std::mutex> lock(device->mutex);
  DisconnectLocked(*device);
  return kAMDSuccess;
}

int AMDeviceIsPaired(AMDeviceRef device) { return HostId(device->udid).empty() ? 0 : 1; }

int32_t AMDeviceValidatePairing(AMDeviceRef device) {
  std::lock_guard<std::mutex> lock(device->mutex);
  if (device->lockdown == nullptr) return kAMDNotConnected;
  if (!device->product_version.empty() && MajorVersion(device->product_version) < kSessionValidatesFrom) {
    return FromLockdownError(Lib().lockdownd_validate_pair(device->lockdown, nullptr));
  }
  int32_t status = StartSessionLocked(*device);
  if (status == kAMDSuccess) StopSessionLocked(*device);
  return status;
}

int32_t AMDevicePair(AMDeviceRef device) {
  int32_t status;
  {
    std::lock_guard<std::mutex> lock(device->mutex);
    if (device->lockdown == nullptr) return kAMDNotConnected;
    status = FromLockdownError(Lib().lockdownd_pair(device->lockdown, nullptr));
  }
  if (status == kAMDPairingDialogPending) WatchPendingPairing(device->shared_from_this());
  return status;
}

int32_t AMDeviceStartSession(AMDeviceRef device) {
  std::lock_guard<std::mutex> lock(device->mutex);
  if (!device->session_id.empty()) StopSessionLocked(*device);
  return StartSessionLocked(*device);
}

std::string AMDeviceGetSessionID(AMDeviceRef device) {
  std::lock_guard<std::mutex> lock(device->mutex);
  return device->session_id;
}

int32_t AMDeviceStopSession(AMDeviceRef device, const std::string& session_id) {
  std::lock_guard<std::mutex> lock(device->mutex);
  if (!session_id.empty() && session_id != device->session_id) return kAMDSuccess;
  return StopSessionLocked(*device);
}

std::optional<PlistValue> AMDeviceCopyValue(AMDeviceRef device, const char* domain, const char* key) {
  std::lock_guard<std::mutex> lock(device->mutex);
  if (device->lockdown == nullptr) return std::nullopt;
  PlistOwner value;
  if (Lib().lockdownd_get_value(device->lockdown, domain, key, &value.node) != LOCKDOWN_E_SUCCESS ||
      value.node == nullptr) {
    return std::nullopt;
  }
  PlistValue converted;
  if (!FromPlist(value.node, DataForm::kUpperHexText, &converted)) return std::nullopt;
  return converted;
}

int32_t AMDeviceSetValue(AMDeviceRef device, const char* domain, const char* key, const PlistValue& value) {
  std::lock_guard<std::mutex> lock(device->mutex);
  if (device->lockdown == nullptr) return kAMDNotConnected;
  // The request takes the node over.
  return FromLockdownError(Lib().lockdownd_set_value(device->lockdown, domain, key, ToPlist(value)));
}
