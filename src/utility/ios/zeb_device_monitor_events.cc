// The device monitor's notification handling and device bring-up, on the notification thread.
#include <glog/logging.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "utility/ios/device_handles.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device.h"
#include "utility/ios/zeb_device_monitor.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/ios/zeb_device_values.h"

namespace {

// The oldest system of an iPhone or iPod touch the helper works with: 4.2.
constexpr int kOldestPhoneVersion = 42;

int VersionNumber(const std::string& version) {
  int major = std::atoi(version.c_str());
  size_t dot = version.find('.');
  int minor = dot == std::string::npos ? 0 : std::atoi(version.c_str() + dot + 1);
  return major * 10 + minor;
}

std::string TextValue(const ZEBDeviceConnection& device, const char* key) {
  std::optional<PlistValue> value = CopyValue(device, key);
  return value && value->IsString() ? value->Text() : std::string();
}

}  // namespace

void ZEBDeviceMonitor::OnNotification(const AMDeviceNotification& notification, void* context) {
  auto* monitor = static_cast<ZEBDeviceMonitor*>(context);
  AMDeviceRef device = notification.device.get();
  if (AMDeviceGetInterfaceType(device) != kAMDInterfaceUsb) return;
  switch (notification.message) {
    case kAMDeviceAttached:
      monitor->OnAttached(notification.device);
      break;
    case kAMDeviceDetached:
      monitor->OnDetached(device);
      break;
    case kAMDeviceChanged:
      monitor->OnChanged(device);
      break;
    case kAMDevicePaired:
      monitor->OnPaired(device);
      break;
    default:
      break;
  }
}

void ZEBDeviceMonitor::OnAttached(const AMDeviceHandle& device) {
  uint32_t number = AMDeviceGetConnectionID(device.get());
  SendDeviceNotice(number, ZEBDeviceCallback::kNoticeAttached);
  auto connection = std::make_shared<ZEBDeviceConnection>(device, number);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.push_back(connection);
  }
  BringUp(connection, false);
}

void ZEBDeviceMonitor::OnDetached(AMDeviceRef device) {
  ForgetDevice(device);
  ForgetDeviceServices(device);
  std::unique_lock<std::mutex> lock(mutex_);
  ZEBDeviceConnectionPtr connection = FindByDeviceLocked(device);
  if (!connection) return;
  connections_.erase(std::remove(connections_.begin(), connections_.end(), connection), connections_.end());
  connection->state = ZEBDeviceConnection::kDetached;
  // A device whose bring-up failed (passcode, system too old, no file service) may have an identity, but the host
  // never saw it arrive: its departure is the notice, not the event.
  if (!connection->announced) {
    lock.unlock();
    SendDeviceNotice(connection->number, ZEBDeviceCallback::kNoticeLeftBeforeReady);
    return;
  }
  for (ZEBDeviceCallback* callback : CallbacksLocked()) {
    callback->OnDeviceEvent(connection, ZEBDeviceCallback::kDeviceDetached);
  }
}

void ZEBDeviceMonitor::OnChanged(AMDeviceRef device) {
  std::lock_guard<std::mutex> lock(mutex_);
  ZEBDeviceConnectionPtr connection = FindByDeviceLocked(device);
  if (!connection) return;
  for (ZEBDeviceCallback* callback : CallbacksLocked()) {
    callback->OnDeviceEvent(connection, ZEBDeviceCallback::kDeviceNotification);
  }
}

// The user has trusted this computer: bring up the device that could not come up at attachment.
void ZEBDeviceMonitor::OnPaired(AMDeviceRef device) {
  ZEBDeviceConnectionPtr connection = FindConnectionByDevice(device);
  if (!connection) return;
  bool was_ready = connection->state == ZEBDeviceConnection::kReady;
  connection->state = ZEBDeviceConnection::kRevalidating;
  BringUp(connection, was_ready);
}

// Opens a fresh session; then, unless the device was ready already, the device-ready handling.
void ZEBDeviceMonitor::BringUp(const ZEBDeviceConnectionPtr& connection, bool was_ready) {
  int error = 0;
  ZEBDeviceSessionPtr session = OpenSession(DeviceHandles::Device(*connection), &error);
  if (!session) {
    if (was_ready) connection->state = ZEBDeviceConnection::kReady;  // still the device the host knows
    ReportConnectError(connection, error);
    return;
  }
  if (was_ready) {
    connection->state = ZEBDeviceConnection::kReady;
    return;
  }
  HandleDeviceReady(connection);
}

int ZEBDeviceMonitor::HandleDeviceReady(const ZEBDeviceConnectionPtr& connection) {
  bool idle = false;
  if (!connection->bringing_up.compare_exchange_strong(idle, true)) return 0;  // the one under way will announce it
  struct Done {
    ZEBDeviceConnection& connection;
    ~Done() { connection.bringing_up = false; }
  } done{*connection};
  int result = ReadDeviceInfo(connection);
  // A host's re-announce runs on a worker while the device may leave: whatever it read, a record the detachment
  // already took off the list is not reported.
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(connections_.begin(), connections_.end(), connection) == connections_.end()) return kErrorDeviceGone;
  if (result != 0) {
    // The error report is what makes a host ask again (command 15): by the time it leaves, this bring-up must no
    // longer count as under way, or the host's attempt would take it for one that is about to announce the device.
    connection->bringing_up = false;
    ReportConnectErrorLocked(connection, result);
    return result;
  }
  connection->state = ZEBDeviceConnection::kReady;
  connection->announced = true;
  for (ZEBDeviceCallback* callback : CallbacksLocked()) {
    callback->OnDeviceEvent(connection, ZEBDeviceCallback::kDeviceReady);
  }
  return 0;
}

int ZEBDeviceMonitor::ReadDeviceInfo(const ZEBDeviceConnectionPtr& connection) {
  const ZEBDeviceConnection& device = *connection;
  int error = 0;
  ZEBDeviceSessionPtr session = GetSession(DeviceHandles::Device(device), &error);
  if (!session) return error != 0 ? error : kErrorNoSession;

  ZEBDeviceIdentity identity = connection->Identity();
  identity.productVersion = TextValue(device, "ProductVersion");
  identity.productVersionUtf8 = identity.productVersion;
  identity.deviceName = TextValue(device, "DeviceName");
  identity.uniqueDeviceID = TextValue(device, "UniqueDeviceID");
  identity.serialNumber = TextValue(device, "SerialNumber");
  identity.deviceClass = TextValue(device, "DeviceClass");
  std::optional<PlistValue> chip = CopyValue(device, "UniqueChipID");
  if (chip && chip->IsInteger()) identity.uniqueChipID = std::to_string(chip->AsInt64());
  identity.versionNumber = VersionNumber(identity.productVersion);
  connection->SetIdentity(identity);

  if ((identity.deviceClass == "iPod" || identity.deviceClass == "iPhone") &&
      identity.versionNumber < kOldestPhoneVersion) {
    return kErrorSystemTooOld;
  }

  error = 0;
  ZEBDeviceServicePtr afc = StartService(device, kServiceAfc, &error, {}, true);
  if (!afc) return error != 0 ? error : kErrorAfcUnavailable;
  AFCKeyValueRef info = nullptr;
  if (AFCDeviceInfoOpen(DeviceHandles::Afc(*afc), &info) != kAMDSuccess) return kErrorAfcDeviceInfo;
  const char* key = nullptr;
  const char* value = nullptr;
  while (AFCKeyValueRead(info, &key, &value) && key != nullptr) {
    if (std::strcmp(key, "FSTotalBytes") == 0) identity.totalBytes = std::strtoll(value, nullptr, 10);
    else if (std::strcmp(key, "FSFreeBytes") == 0) identity.freeBytes = std::strtoll(value, nullptr, 10);
    else if (std::strcmp(key, "Model") == 0) identity.model = value;
  }
  AFCKeyValueClose(info);
  connection->SetIdentity(identity);
  return 0;
}
