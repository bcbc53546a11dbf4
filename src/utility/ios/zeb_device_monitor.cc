#include "utility/ios/zeb_device_monitor.h"

#include <glog/logging.h>

#include "iOSAPI/mobile_export_fun.h"
#include "libbasic/kx_task_pool.h"
#include "utility/ios/device_handles.h"

ZEBDeviceMonitor& ZEBDeviceMonitor::Get() {
  static ZEBDeviceMonitor* monitor = new ZEBDeviceMonitor();
  return *monitor;
}

void ZEBDeviceMonitor::AddCallback(ZEBDeviceCallback* callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  callbacks_[++callback_counter_] = callback;
}

int ZEBDeviceMonitor::StartMonitor() {
  std::unique_lock<std::mutex> lock(start_mutex_);
  if (started_ && subscription_done_ && subscription_ok_) return kStarted;
  if (!started_) {
    LOG(INFO) << "CMobileExportFun::GetInstance().Init() Before";
    if (!CMobileExportFun::GetInstance().Init()) return kNoDeviceLibrary;
    LOG(INFO) << "CMobileExportFun::GetInstance().Init() Finish";
    if (!AMDeviceServiceIsRunning()) return kNoDeviceService;
    LOG(INFO) << "usbmuxd";
    started_ = true;
  }
  subscription_done_ = false;
  subscription_ok_ = true;
  // This task becomes the notification thread: it delivers every device notification until the process ends.
  bas::KxTaskPool::Get().AddQuickTask([this] {
    bool ok = AMDeviceNotificationSubscribe(&ZEBDeviceMonitor::OnNotification, this) == kAMDSuccess;
    {
      std::lock_guard<std::mutex> start_lock(start_mutex_);
      subscription_ok_ = ok;
      subscription_done_ = true;
    }
    subscribed_.notify_all();
    if (ok) AMDeviceRunLoopRun();
  });
  subscribed_.wait(lock, [this] { return subscription_done_; });
  return subscription_ok_ ? kStarted : kSubscriptionFailed;
}

ZEBDeviceConnectionPtr ZEBDeviceMonitor::FindConnection(const std::string& unique_device_id) {
  // Every record whose identity was not read yet has an empty identifier: an empty one names no device.
  if (unique_device_id.empty()) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ZEBDeviceConnectionPtr& connection : connections_) {
    if (connection->UniqueDeviceID() == unique_device_id) return connection;
  }
  return nullptr;
}

ZEBDeviceConnectionPtr ZEBDeviceMonitor::FindConnectionByDevice(AMDeviceRef device) {
  std::lock_guard<std::mutex> lock(mutex_);
  return FindByDeviceLocked(device);
}

ZEBDeviceConnectionPtr ZEBDeviceMonitor::FindConnectionByNumber(uint32_t number) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ZEBDeviceConnectionPtr& connection : connections_) {
    if (connection->number == number) return connection;
  }
  return nullptr;
}

ZEBDeviceConnectionPtr ZEBDeviceMonitor::FindByDeviceLocked(AMDeviceRef device) const {
  for (const ZEBDeviceConnectionPtr& connection : connections_) {
    if (DeviceHandles::Device(*connection) == device) return connection;
  }
  return nullptr;
}

std::vector<ZEBDeviceCallback*> ZEBDeviceMonitor::CallbacksLocked() const {
  std::vector<ZEBDeviceCallback*> callbacks;
  for (const auto& [id, callback] : callbacks_) callbacks.push_back(callback);
  return callbacks;
}

void ZEBDeviceMonitor::ReportConnectError(const ZEBDeviceConnectionPtr& connection, int code) {
  std::lock_guard<std::mutex> lock(mutex_);
  ReportConnectErrorLocked(connection, code);
}

void ZEBDeviceMonitor::ReportConnectErrorLocked(const ZEBDeviceConnectionPtr& connection, int code) {
  for (ZEBDeviceCallback* callback : CallbacksLocked()) callback->OnConnectError(connection, code);
}

void ZEBDeviceMonitor::SendDeviceNotice(uint32_t device_number, int code) {
  std::vector<ZEBDeviceCallback*> callbacks;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    callbacks = CallbacksLocked();
  }
  for (ZEBDeviceCallback* callback : callbacks) callback->OnDeviceNotice(device_number, code);
}
