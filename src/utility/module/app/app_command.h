// What the application module's commands share once the common checks passed: the device, the arguments, the
// way to send reports, and the exchange of one installation-proxy operation with progress forwarded.
//
// Thread safety: an AppCommand belongs to the task thread that runs the command.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "utility/ios/zeb_device_connection.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/app/app_reports.h"
#include "utility/module/zeb_command.h"
#include "utility/protocol_codes.h"
#include "utility/task_report.h"

inline constexpr const char* kServiceInstallationProxy = "com.apple.mobile.installation_proxy";
inline constexpr const char* kServiceSpringboard = "com.apple.springboardservices";
// The device folder packages are uploaded to before they are installed.
inline constexpr const char* kPackageFolder = "general_storage";

struct AppCommand {
  const ZEBCommand& host;               // the host's command as the front door handed it over
  std::string uuid;                     // the device's unique id, as the host gave it
  ZEBDeviceConnectionPtr connection;    // keeps the device record alive while the command runs
  std::vector<std::string> arguments;   // the text items of the argument array
  std::function<void(const TaskReport&)> report;

  const ZEBDeviceConnection& device() const { return *connection; }
  // True once the host stopped the task; checked between items, so an item under way is finished first.
  bool Aborted() const;
};

// Sends `message` (an install, uninstall or archive message) on the installation proxy and receives until the
// operation ends, reporting each "PercentComplete" as progress of `bundle_id`. The outcome has the bundle id
// and says how it ended (the caller adds the package path where there is one).
ItemOutcome RunProxyOperation(AppCommand& command, const ZEBDeviceService& proxy, const std::string& message,
                              const std::string& bundle_id);

// After an outcome whose exchange broke off, replaces `proxy` with a freshly started installation proxy; false
// when none can be started.
bool RenewAfterBrokenExchange(const AppCommand& command, const ItemOutcome& outcome, ZEBDeviceServicePtr* proxy);

// The commands. Each returns the result code of the final report.
int RunList(AppCommand& command);
int RunIcons(AppCommand& command);
int RunInstall(AppCommand& command);
int RunRemoval(AppCommand& command, bool archive);
