// The device record and the helpers shared by the entry-point files. Internal to src/iOSAPI.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "iOSAPI/entry_points_internal.h"
#include "iOSAPI/mobile_device.h"

struct AMDevice : std::enable_shared_from_this<AMDevice> {
  AMDevice(std::string device_udid, uint32_t usbmuxd_handle, bool over_usb)
      : udid(std::move(device_udid)), handle(usbmuxd_handle), usb(over_usb) {}
  ~AMDevice();

  const std::string udid;
  const uint32_t handle;
  const bool usb;

  std::mutex mutex;  // serialises the use of the lockdown client and guards everything below
  idevice_t idevice = nullptr;
  lockdownd_client_t lockdown = nullptr;
  std::string session_id;
  std::string product_version;  // read at connect, before any session
};

const EntryPoints& Lib();

// One place that turns the library's errors into the layer's status codes.
int32_t FromLockdownError(lockdownd_error_t error);
int32_t FromAfcError(afc_error_t error);

// The pairing record usbmuxd keeps for the device, or nothing.
std::optional<PlistValue> ReadPairRecord(const std::string& udid);

// The pairing watcher (mobile_device_notifications.cc): retries a pending pairing every two seconds.
void WatchPendingPairing(const AMDeviceHandle& device);
