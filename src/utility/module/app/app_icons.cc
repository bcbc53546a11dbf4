// 502: application icons from springboard services, one report per icon the device sends.
#include <glog/logging.h>

#include "utility/ios/zeb_device_service.h"
#include "utility/ios/zeb_service_messages.h"
#include "utility/module/app/app_answer_handler.h"
#include "utility/module/app/app_command.h"
#include "utility/module/app/app_messages.h"
#include "utility/module/zeb_module.h"

int RunIcons(AppCommand& command) {
  int error = 0;
  ZEBDeviceServicePtr springboard;
  for (const std::string& bundle_id : command.arguments) {
    if (command.Aborted()) return ZEBModule::kResultAborted;
    // A connection whose exchange broke off (a time-out, a cut) may still deliver the late answer, which would be
    // taken for the next identifier's icon: every identifier after such an exchange gets a fresh connection.
    if (!springboard) {
      springboard = StartService(command.device(), kServiceSpringboard, &error);
      if (!springboard) return protocol::kResultNoService;
    }
    AppAnswerHandler handler(
        {.icon = [&](const std::string& png) { command.report(IconReport(command.uuid, bundle_id, png)); }},
        /*single_answer=*/true);
    if (!SendAndReceive(*springboard, IconMessage(bundle_id), handler.AsMessageHandler())) {
      LOG(ERROR) << "No answer for the icon of " << bundle_id << "; springboard services are started again";
      springboard.reset();
    }
  }
  return 0;
}
