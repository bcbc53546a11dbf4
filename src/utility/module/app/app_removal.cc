// 505 and 506: uninstall applications, or archive them on the device, one after the other.
#include "utility/ios/zeb_device_service.h"
#include "utility/module/app/app_command.h"
#include "utility/module/app/app_messages.h"
#include "utility/module/zeb_module.h"

int RunRemoval(AppCommand& command, bool archive) {
  int error = 0;
  ZEBDeviceServicePtr proxy = StartService(command.device(), kServiceInstallationProxy, &error);
  if (!proxy) return protocol::kResultNoService;
  for (const std::string& bundle_id : command.arguments) {
    if (command.Aborted()) return ZEBModule::kResultAborted;
    std::string message = archive ? ArchiveMessage(bundle_id) : UninstallMessage(bundle_id);
    ItemOutcome outcome = RunProxyOperation(command, *proxy, message, bundle_id);
    command.report(OutcomeReport(command.uuid, outcome));
    if (!RenewAfterBrokenExchange(command, outcome, &proxy)) return protocol::kResultNoService;
  }
  return 0;
}
