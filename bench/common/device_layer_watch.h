// The device layer in a benchmark's own process, for the anchors that call it bare: the device library loaded,
// device notices subscribed, their run loop on a thread of its own, and the attached device the benchmark asked
// for.
//
// Thread safety: Start and device() on the benchmark's thread; the notices arrive on the run loop's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "iOSAPI/mobile_device.h"

namespace bench {

class DeviceLayerWatch {
 public:
  DeviceLayerWatch() = default;
  ~DeviceLayerWatch();
  DeviceLayerWatch(const DeviceLayerWatch&) = delete;
  DeviceLayerWatch& operator=(const DeviceLayerWatch&) = delete;

  // Waits for the device of `udid` (any device when empty) to be attached. False with a reason otherwise.
  bool Start(const std::string& udid, std::chrono::seconds timeout, std::string* error);
  AMDeviceHandle device() const;

 private:
  static void OnNotification(const AMDeviceNotification& notification, void* context);

  std::string udid_;
  std::thread run_loop_;
  bool subscribed_ = false;
  mutable std::mutex mutex_;
  std::condition_variable attached_;
  AMDeviceHandle device_;  // guarded by mutex_
};

}  // namespace bench
