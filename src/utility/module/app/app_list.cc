// 501: the user applications with their bundle members, store metadata and sizes.
#include <glog/logging.h>

#include "utility/ios/zeb_device_service.h"
#include "utility/ios/zeb_service_messages.h"
#include "utility/module/app/app_answer_handler.h"
#include "utility/module/app/app_command.h"
#include "utility/module/app/app_messages.h"
#include "utility/listing/listing_reporter.h"
#include "utility/module/app/app_table.h"

namespace {

// One Browse pass; each listed entry goes to `add`. A pass cut short leaves what arrived in the table.
bool BrowsePass(const ZEBDeviceService& proxy, const std::string& message,
                const std::function<void(const PlistValue&)>& add, const char* pass) {
  AppAnswerHandler handler({.list_entry = add});
  SendAndReceive(proxy, message, handler.AsMessageHandler());
  if (handler.end() == AppAnswerHandler::End::kComplete) return true;
  LOG(ERROR) << "The application list's " << pass << " pass ended before it was complete";
  return false;
}

}  // namespace

int RunList(AppCommand& command) {
  int error = 0;
  ZEBDeviceServicePtr proxy = StartService(command.device(), kServiceInstallationProxy, &error);
  if (!proxy) return protocol::kResultNoService;
  AppTable table;
  bool complete = BrowsePass(*proxy, ListMessage(),
                             [&](const PlistValue& entry) { table.AddListed(entry); }, "first");
  // The rest of a broken first pass must not be read as the sizes pass's answers.
  if (!complete) {
    proxy.reset();
    proxy = StartService(command.device(), kServiceInstallationProxy, &error);
    if (!proxy) return protocol::kResultNoService;
  }
  BrowsePass(*proxy, ListSizesMessage(), [&](const PlistValue& entry) { table.AddSizes(entry); },
             "sizes");
  ListingReporter listing(command.uuid, {.shape = ListingOptions::Shape::kEach}, command.report);
  listing.SendCount(static_cast<int64_t>(table.apps().size()));
  for (const AppObject& app : table.apps()) listing.Add(app.ToJson());
  listing.Finish();
  return 0;
}
