// ZEBDeviceMonitor: watches for attached devices and tells the registered callbacks about them.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "utility/ios/zeb_device_connection.h"

class ZEBDeviceMonitor {
 public:
  // Start results.
  static constexpr int kStarted = 0;
  static constexpr int kNoDeviceLibrary = 9;

  static ZEBDeviceMonitor& Get();

  void AddCallback(ZEBDeviceCallback* callback);
  // Starts watching; 0 when running, else the reason it cannot.
  int StartMonitor();

 private:
  std::mutex mutex_;  // the monitor lock: guards the callbacks
  uint32_t callback_counter_ = 0;
  std::map<uint32_t, ZEBDeviceCallback*> callbacks_;
};
