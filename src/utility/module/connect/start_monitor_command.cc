// 10: the device monitor started on the host's request (a device library installed after start-up).
#include <glog/logging.h>

#include <string>

#include "utility/ios/zeb_device_monitor.h"
#include "utility/module/connect/connect_internal.h"

int RunStartMonitor(ZEBCommand& command) {
  LOG(INFO) << "DoStartLoadiTunesDll Begin: ";
  int result = ZEBDeviceMonitor::Get().StartMonitor();
  TaskReport report;
  report.info = "{\"error_code\":" + std::to_string(result) + "}";
  command.sink().SendReportToHost(bas::IPCPacketHeader{0, protocol::kTypeMonitorStart, protocol::kHeaderNotice, 0},
                                  report);
  LOG(INFO) << "DoStartLoadiTunesDll: " << result;
  command.result_info = report.info;
  return result;
}
