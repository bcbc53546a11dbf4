#include "utility/ios/zeb_device_monitor.h"

ZEBDeviceMonitor& ZEBDeviceMonitor::Get() {
  static ZEBDeviceMonitor* monitor = new ZEBDeviceMonitor();
  return *monitor;
}

void ZEBDeviceMonitor::AddCallback(ZEBDeviceCallback* callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  callbacks_[++callback_counter_] = callback;
}

// No device library is bound into this build yet, so no device can ever be seen.
int ZEBDeviceMonitor::StartMonitor() { return kNoDeviceLibrary; }
