// 17 and 18 in the elevated copy: installing the driver packages, and the store-edition check.
#include <glog/logging.h>

#include <sstream>
#include <string>

#include "platform/platform.h"
#include "platform/sync_redirector.h"
#include "utility/ios/device_service_check.h"
#include "utility/module/connect/connect_internal.h"

namespace {

constexpr const char* kDefaultInstaller = "dpkg";
constexpr uint16_t kHeaderDone = 1;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Runs the installer on one package: true when it ran, exited cleanly and printed no "error".
bool Install(const std::string& package) {
  std::string installer = platform::GetEnvironment("CORVANE_INSTALLER");
  if (installer.empty()) installer = kDefaultInstaller;
  std::string output;
  int exit_code = -1;
  std::string failure;
  platform::SyncRedirector runner([&failure](const std::string& text) { failure += text; });
  bool ran = runner.Run(Quoted(installer) + " --install " + Quoted(package), &output, &exit_code);
  LOG(INFO) << package << ": " << output << failure;
  return ran && exit_code == 0 && output.find("error") == std::string::npos;
}

std::string ErrorInfo(int code) { return "{\"error\":" + std::to_string(code) + "}"; }

}  // namespace

int RunDriverInstall(ZEBCommand& command) {
  auto info = command.json().FindMember("info");
  std::vector<std::string> packages;
  if (info != command.json().MemberEnd() && info->value.IsArray()) {
    for (const rapidjson::Value& item : info->value.GetArray()) {
      if (item.IsString()) packages.emplace_back(item.GetString(), item.GetStringLength());
    }
  }
  int code = 0;
  int done = 0;
  for (const std::string& package : packages) {
    if (!Install(package)) {
      code = kConnectInstallFailed;
      break;
    }
    ++done;
    TaskReport progress;
    progress.stage = 2;
    progress.info = "{\"index\":" + std::to_string(done) + ",\"count\":" + std::to_string(packages.size()) + "}";
    command.SendProgress(progress);
  }
  LOG(INFO) << "FailedBlacklist Before: " << code;
  if (code == 0 && !IsDeviceServiceRunning()) code = kConnectInstallFailed;
  LOG(INFO) << "FailedBlacklist After: " << code;
  LOG(INFO) << "Install Driver: " << code;
  command.result_info = ErrorInfo(code);
  return code;
}

int RunStoreEditionCheck(ZEBCommand& command) {
  std::string output;
  int exit_code = -1;
  platform::SyncRedirector runner;
  int code = kConnectNoStoreEdition;
  if (runner.Run("wmic path Win32_InstalledStoreProgram get name", &output, &exit_code)) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
      if (line.find("AppleInc.iTunes") != std::string::npos) {
        code = 0;
        break;
      }
    }
  }
  TaskReport report;
  report.code = code;
  report.uuid = command.uuid();
  report.info = ErrorInfo(code);
  command.sink().SendReportToHost(bas::IPCPacketHeader{command.packet().task_id, command.type(), kHeaderDone, 0},
                                  report);
  return ZEBCommand::kNoReport;
}
