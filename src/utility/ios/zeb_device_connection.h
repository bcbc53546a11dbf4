// ZEBDeviceConnection: the record of one attached device, and the callback interface for device events.
//
// The device monitor creates a record when a device is attached, fills its identity while it brings the device
// up, and drops it from its list when the device leaves; modules that hold a reference may go on using it. The
// identity is written on the monitor's thread while modules read it, so it is kept behind the record's mutex and
// read as a copy.
//
// The record also holds where the latest local copy of each of the device's databases lies (the snapshots of
// utility/db set them); a path is empty until its first successful snapshot and is overwritten by a later one.
//
// The library's device handle inside the record is the device layer's own (device_handles.h): modules hand the
// record itself to the layer's functions.
//
// Thread safety: `state` is atomic; identity fields through Identity/SetIdentity and snapshot paths through
// SnapshotPath/SetSnapshotPath, both behind the record's mutex; `announced` under the monitor's lock; the device
// handle and `number` are constant.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "iOSAPI/mobile_device.h"

struct ZEBDeviceIdentity {
  int64_t totalBytes = 0;
  int64_t freeBytes = 0;
  std::string model;
  std::string productVersion;
  int versionNumber = 0;  // major * 10 + minor of productVersion
  std::string deviceName;
  std::string uniqueDeviceID;
  std::string serialNumber;
  std::string deviceClass;
  std::string uniqueChipID;
  std::string productVersionUtf8;
};

// The device databases and lists of which a local copy can be taken, in the record's order.
enum class SnapshotRole : int {
  kPhotoDatabase,
  kMediaLibraryDatabase,
  kLegacyTrackDatabase,
  kRingtoneList,
  kBookList,
  kPurchasedBookList,
  kRecordingsDatabase,
  kRecordingAssetManifest,
  kLibraryDatabase,
  kLocationsDatabase,
  kCount
};

class ZEBDeviceConnection {
 public:
  enum State : int { kReady = 1, kDetached = 2, kAttached = 3, kRevalidating = 4 };

  ZEBDeviceConnection(AMDeviceHandle device_handle, uint32_t device_number)
      : number(device_number), device_(std::move(device_handle)) {}
  virtual ~ZEBDeviceConnection() = default;

  ZEBDeviceIdentity Identity() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return identity_;
  }
  void SetIdentity(const ZEBDeviceIdentity& identity) {
    std::lock_guard<std::mutex> lock(mutex_);
    identity_ = identity;
  }
  std::string UniqueDeviceID() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return identity_.uniqueDeviceID;
  }
  void SetProductVersionUtf8(const std::string& version) {
    std::lock_guard<std::mutex> lock(mutex_);
    identity_.productVersionUtf8 = version;
  }

  std::string SnapshotPath(SnapshotRole role) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return snapshot_paths_[static_cast<size_t>(role)];
  }
  void SetSnapshotPath(SnapshotRole role, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    snapshot_paths_[static_cast<size_t>(role)] = path;
  }

  const uint32_t number;  // what the host sees as the device's "code"
  std::atomic<int> state{kAttached};
  // Set while the device is being brought up, so that two bring-ups (the monitor's and a host's re-announce)
  // never run at once.
  std::atomic<bool> bringing_up{false};
  // Whether the host was told the device is ready; its departure is then an event, else a notice. Guarded by the
  // device monitor's lock, under which the record also leaves the monitor's list.
  bool announced = false;

 private:
  friend struct DeviceHandles;
  const AMDeviceHandle device_;  // keeps the device reference valid while the record lives
  mutable std::mutex mutex_;
  ZEBDeviceIdentity identity_;
  std::array<std::string, static_cast<size_t>(SnapshotRole::kCount)> snapshot_paths_;
};

using ZEBDeviceConnectionPtr = std::shared_ptr<ZEBDeviceConnection>;

// Told by the device monitor about devices. OnDeviceEvent runs under the monitor lock, so it must not call
// back into the monitor; the two notice calls do not.
class ZEBDeviceCallback {
 public:
  enum Event : int { kDeviceReady = 1, kDeviceDetached = 2, kDeviceNotification = 3 };
  enum Notice : int { kNoticeAttached = 11, kNoticeLeftBeforeReady = 8 };
  virtual ~ZEBDeviceCallback() = default;
  virtual void OnDeviceEvent(const ZEBDeviceConnectionPtr& connection, int event) = 0;
  // A raw device state change (a kNotice... code) of the device with this number.
  virtual void OnDeviceNotice(uint32_t device_number, int code) {
    (void)device_number;
    (void)code;
  }
  // A device's bring-up failed with this code.
  virtual void OnConnectError(const ZEBDeviceConnectionPtr& connection, int code) {
    (void)connection;
    (void)code;
  }
};
