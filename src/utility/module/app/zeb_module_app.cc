#include "utility/module/app/zeb_module_app.h"

#include <memory>

#include "utility/module/app/app_command.h"

namespace {

// The argument array's text items; false when the bytes are no JSON array. Trailing NUL bytes (a host that
// ends the payload like a C string) are not part of the JSON text.
bool ParseArguments(std::string_view text, std::vector<std::string>* items) {
  while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
  rapidjson::Document arguments;
  arguments.Parse(text.data(), text.size());
  if (arguments.HasParseError() || !arguments.IsArray()) return false;
  for (const rapidjson::Value& item : arguments.GetArray()) {
    if (item.IsString()) items->emplace_back(item.GetString(), item.GetStringLength());
  }
  return true;
}

}  // namespace

int ZEBModuleApp::OnCommand(ZEBCommand& host) {
  AppCommand command{host, host.uuid(), host.device(), {}, [&host](const TaskReport& report) {
                       host.SendProgress(report);
                     }};
  if (host.type() != protocol::kTypeAppList && !ParseArguments(host.data(), &command.arguments)) {
    return protocol::kResultBadArguments;
  }
  switch (host.type()) {
    case protocol::kTypeAppList: return RunList(command);
    case protocol::kTypeAppIcons: return RunIcons(command);
    case protocol::kTypeAppInstall: return RunInstall(command);
    case protocol::kTypeAppUninstall: return RunRemoval(command, /*archive=*/false);
    case protocol::kTypeAppArchive: return RunRemoval(command, /*archive=*/true);
    default: return kResultOk;
  }
}
