// ZEBDeviceMonitor: watches for attached devices and tells the registered callbacks about them.
//
// Modules find a device's record with FindConnection (by its unique device identifier, exact and case-sensitive)
// or FindConnectionByDevice.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

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

  ZEBDeviceConnectionPtr FindConnection(const std::string& unique_device_id);
  ZEBDeviceConnectionPtr FindConnectionByDevice(AMDeviceRef device);

 private:
  std::mutex mutex_;  // the monitor lock: guards everything below
  uint32_t callback_counter_ = 0;
  std::map<uint32_t, ZEBDeviceCallback*> callbacks_;
  std::vector<ZEBDeviceConnectionPtr> connections_;  // in order of arrival
};
