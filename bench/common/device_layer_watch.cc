#include "common/device_layer_watch.h"

#include "iOSAPI/mobile_export_fun.h"

namespace bench {

DeviceLayerWatch::~DeviceLayerWatch() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    device_.reset();
  }
  if (run_loop_.joinable()) {
    AMDeviceRunLoopStop();
    run_loop_.join();
  }
  if (subscribed_) AMDeviceNotificationUnsubscribe();
}

bool DeviceLayerWatch::Start(const std::string& udid, std::chrono::seconds timeout, std::string* error) {
  udid_ = udid;
  if (!CMobileExportFun::GetInstance().Init() || AMDeviceNotificationSubscribe(&OnNotification, this) != kAMDSuccess) {
    *error = "the device library did not load";
    return false;
  }
  subscribed_ = true;
  run_loop_ = std::thread(&AMDeviceRunLoopRun);
  std::unique_lock<std::mutex> lock(mutex_);
  if (!attached_.wait_for(lock, timeout, [this] { return device_ != nullptr; })) {
    *error = "the device layer did not see the device";
    return false;
  }
  return true;
}

AMDeviceHandle DeviceLayerWatch::device() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return device_;
}

void DeviceLayerWatch::OnNotification(const AMDeviceNotification& notification, void* context) {
  auto* watch = static_cast<DeviceLayerWatch*>(context);
  if (notification.message != kAMDeviceAttached) return;
  std::lock_guard<std::mutex> lock(watch->mutex_);
  if (watch->device_) return;
  if (!watch->udid_.empty() && AMDeviceGetUDID(notification.device.get()) != watch->udid_) return;
  watch->device_ = notification.device;
  watch->attached_.notify_all();
}

}  // namespace bench
