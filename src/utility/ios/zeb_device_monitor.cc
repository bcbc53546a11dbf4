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

ZEBDeviceConnectionPtr ZEBDeviceMonitor::FindConnection(const std::string& unique_device_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ZEBDeviceConnectionPtr& connection : connections_) {
    if (connection->UniqueDeviceID() == unique_device_id) return connection;
  }
  return nullptr;
}

ZEBDeviceConnectionPtr ZEBDeviceMonitor::FindConnectionByDevice(AMDeviceRef device) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ZEBDeviceConnectionPtr& connection : connections_) {
    if (connection->device == device) return connection;
  }
  return nullptr;
}
