#include "utility/module/app/app_command.h"

#include "libbasic/kx_task_schedular.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/ios/zeb_service_messages.h"
#include "utility/module/app/app_answer_handler.h"

bool AppCommand::Aborted() const { return host.Aborted(); }

ItemOutcome RunProxyOperation(AppCommand& command, const ZEBDeviceService& proxy, const std::string& message,
                              const std::string& bundle_id) {
  ItemOutcome outcome;
  outcome.bundle_id = bundle_id;
  AppAnswerHandler handler({.progress = [&](int64_t percent) {
    command.report(ProgressReport(command.uuid, bundle_id, percent));
  }});
  if (message.empty() || !SendMessage(proxy, message)) {
    outcome.error = "NotSent";
    outcome.exchange_ended_cleanly = false;
    return outcome;
  }
  ReceiveMessages(proxy, handler.AsMessageHandler());
  switch (handler.end()) {
    case AppAnswerHandler::End::kComplete:
      outcome.complete = true;
      break;
    case AppAnswerHandler::End::kDeviceError:
      outcome.error = handler.error();
      outcome.description = handler.error_description();
      break;
    default:
      outcome.error = "NoAnswer";
      outcome.exchange_ended_cleanly = false;
  }
  return outcome;
}

bool RenewAfterBrokenExchange(const AppCommand& command, const ItemOutcome& outcome, ZEBDeviceServicePtr* proxy) {
  if (outcome.exchange_ended_cleanly) return true;
  proxy->reset();
  int error = 0;
  *proxy = StartService(command.device(), kServiceInstallationProxy, &error);
  return *proxy != nullptr;
}
