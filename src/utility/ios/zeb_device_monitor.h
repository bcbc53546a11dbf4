// ZEBDeviceMonitor: watches for attached devices, brings each one up and tells the registered callbacks.
//
// Device notifications are delivered one by one on the monitor's notification thread (a task of the pool that
// runs the device layer's run loop), so bring-ups never overlap: connect, check the pairing, open a session,
// read the identity, open the file service and read the storage figures. One ZEBDeviceConnection per attached
// device is kept, in order of arrival; modules find it with FindConnection (exact, case-sensitive) or
// FindConnectionByDevice.
//
// Thread safety: every member may be called from any thread. The monitor lock guards the connection list and the
// callbacks; OnDeviceEvent and OnConnectError are called with it held, so callbacks must not call back into the
// monitor. A device's departure is an event (2) only when its arrival was announced (1) to the callbacks, and a
// record that left the list is never announced afterwards: both are decided under the lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "utility/ios/zeb_device_connection.h"

struct AMDeviceNotification;

class ZEBDeviceMonitor {
 public:
  // Start results.
  static constexpr int kStarted = 0;
  static constexpr int kNoDeviceLibrary = 9;
  static constexpr int kNoDeviceService = 10;
  static constexpr int kSubscriptionFailed = 11;

  static ZEBDeviceMonitor& Get();

  void AddCallback(ZEBDeviceCallback* callback);
  // Loads the device library, checks that usbmuxd answers and subscribes to device notifications.
  int StartMonitor();

  ZEBDeviceConnectionPtr FindConnection(const std::string& unique_device_id);
  ZEBDeviceConnectionPtr FindConnectionByDevice(AMDeviceRef device);
  // By the number the host knows the device by (the "code" of its device events).
  ZEBDeviceConnectionPtr FindConnectionByNumber(uint32_t number);

  // Reads the identity and storage figures of the device into the record: 0, or a bring-up error code.
  int ReadDeviceInfo(const ZEBDeviceConnectionPtr& connection);
  // Reads the identity; on success marks the device ready and tells every callback, else reports the error.
  // Returns 0 or the error; 0 at once when a bring-up of the device is already under way (it announces it).
  // A device that left meanwhile (its record is no longer listed) is neither announced nor reported:
  // kErrorDeviceGone. An empty identifier finds no device.
  int HandleDeviceReady(const ZEBDeviceConnectionPtr& connection);

 private:
  static void OnNotification(const struct AMDeviceNotification& notification, void* context);
  void OnAttached(const AMDeviceHandle& device);
  void OnDetached(AMDeviceRef device);
  void OnChanged(AMDeviceRef device);
  void OnPaired(AMDeviceRef device);
  void BringUp(const ZEBDeviceConnectionPtr& connection, bool was_ready);
  void ReportConnectError(const ZEBDeviceConnectionPtr& connection, int code);
  void ReportConnectErrorLocked(const ZEBDeviceConnectionPtr& connection, int code);
  void SendDeviceNotice(uint32_t device_number, int code);
  ZEBDeviceConnectionPtr FindByDeviceLocked(AMDeviceRef device) const;
  std::vector<ZEBDeviceCallback*> CallbacksLocked() const;

  std::mutex mutex_;  // the monitor lock: guards everything below
  uint32_t callback_counter_ = 0;
  std::map<uint32_t, ZEBDeviceCallback*> callbacks_;
  std::vector<ZEBDeviceConnectionPtr> connections_;

  std::mutex start_mutex_;  // serialises StartMonitor and guards the start-up state
  std::condition_variable subscribed_;
  bool started_ = false;
  bool subscription_done_ = false;
  bool subscription_ok_ = true;
};
