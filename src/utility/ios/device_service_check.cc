#include "utility/ios/device_service_check.h"

#include <glog/logging.h>

#include "iOSAPI/mobile_device.h"
#include "iOSAPI/mobile_export_fun.h"

bool IsDeviceServiceRunning() {
  if (!CMobileExportFun::GetInstance().Init()) return false;
  bool running = AMDeviceServiceIsRunning();
  LOG(INFO) << "usbmuxd " << (running ? "answers" : "does not answer");
  return running;
}
