// 502: application icons from springboard services, one report per icon the device sends.
#include "utility/ios/zeb_device_service.h"
#include "utility/ios/zeb_service_messages.h"
#include "utility/module/app/app_answer_handler.h"
#include "utility/module/app/app_command.h"
#include "utility/module/app/app_messages.h"
#include "utility/module/zeb_module.h"

int RunIcons(AppCommand& command) {
  int error = 0;
  ZEBDeviceServicePtr springboard = StartService(command.device(), kServiceSpringboard, &error);
  if (!springboard) return protocol::kResultNoService;
  for (const std::string& bundle_id : command.arguments) {
    if (command.Aborted()) return ZEBModule::kResultAborted;
    AppAnswerHandler handler(
        {.icon = [&](const std::string& png) { command.report(IconReport(command.uuid, bundle_id, png)); }},
        /*single_answer=*/true);
    SendAndReceive(springboard->serviceConnection, IconMessage(bundle_id), handler.AsMessageHandler());
  }
  return 0;
}
