#include "utility/module/app/app_browse.h"

#include <glog/logging.h>

#include "utility/module/app/app_answer_handler.h"
#include "utility/module/app/app_messages.h"

bool BrowseUserApplications(const ZEBDeviceService& proxy, std::vector<std::string>* bundle_ids) {
  AppAnswerHandler handler({.list_entry = [bundle_ids](const PlistValue& entry) {
    if (std::optional<std::string> id = entry.FindString("CFBundleIdentifier")) bundle_ids->push_back(*id);
  }});
  SendAndReceive(proxy, ListMessage(), handler.AsMessageHandler());
  return handler.end() == AppAnswerHandler::End::kComplete;
}

bool UninstallApplication(const ZEBDeviceService& proxy, const std::string& bundle_id) {
  std::string message = UninstallMessage(bundle_id);
  if (message.empty() || !SendMessage(proxy, message)) return false;
  AppAnswerHandler handler({});
  ReceiveMessages(proxy, handler.AsMessageHandler());
  if (handler.end() != AppAnswerHandler::End::kComplete) {
    LOG(ERROR) << "Uninstall of " << bundle_id << " ended: " << handler.error() << " " << handler.error_description();
  }
  return handler.end() == AppAnswerHandler::End::kComplete;
}
