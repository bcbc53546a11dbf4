#include "service_startup.h"

#include <glog/logging.h>

#include "basic/plugin_util.h"
#include "libbasic/kx_task_pool.h"
#include "utility/ios/zeb_client.h"
#include "utility/ios/zeb_device_monitor.h"
#include "utility/module/command_table.h"
#include "utility/module/plugins/zeb_module_plugins.h"
#include "utility/process_context.h"

namespace {
constexpr int kWorkers = 10;
}

bool RunServiceStartup() {
  const StartParams& params = ProcessContext::Get().params();
  bas::KxTaskPool::Get().Activate(kWorkers);
  ZEBClient& client = ZEBClient::Get();

  std::string error;
  CommandMap table;
  if (!BuildCommandTable(&client, &table, &error)) {
    LOG(ERROR) << "Command table: " << error;
    return false;
  }
  client.SetCommandTable(std::move(table));
  AttachChildLink(&client);

  // Only now: a host (or the parent of an elevated copy, which sends its queued commands at once) may send
  // commands as soon as the connection stands, and they must find the command table.
  bool connected = params.port != 0 && client.ConnectToHost(static_cast<uint16_t>(params.port));
  if (params.port != 0 && !connected) LOG(ERROR) << "Could not connect to the host on port " << params.port;

  ZEBModulePlugins::Get().RegisterSelf();
  for (const std::string& folder : params.load_modules) {
    if (bas::PluginRegistry::Get().LoadPlugin(folder)) LOG(INFO) << "Load Module Success: " << folder;
  }

  ZEBDeviceMonitor::Get().AddCallback(&client);
  client.SendMonitorStartReport(ZEBDeviceMonitor::Get().StartMonitor());
  client.SendStartReport(connected, params.task_id);
  return true;
}
