// 1602 (the backups under the host's roots) and the yes-or-no questions 1603 to 1607.
#include <filesystem>
#include <vector>

#include "platform/elevation.h"
#include "platform/platform.h"
#include "platform/sync_redirector.h"
#include "utility/ios/zeb_device_values.h"
#include "utility/module/itunes/backup_summary.h"
#include "utility/module/itunes/itunes_commands.h"
#include "utility/protocol_codes.h"

namespace fs = std::filesystem;

namespace itunes {

int ListBackups(ZEBCommand& command) {
  const rapidjson::Document& json = command.json();
  if (!json.IsObject() || !json.HasMember("paths") || !json["paths"].IsArray()) return protocol::kResultBadJson;
  std::vector<std::string> folders;
  for (const rapidjson::Value& entry : json["paths"].GetArray()) {
    if (!entry.IsString()) continue;
    std::string root = entry.GetString();
    if (root.empty()) root = DefaultBackupRoot();
    std::error_code error;
    if (!fs::is_directory(root, error)) continue;
    std::vector<std::string> found;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
      std::error_code ignored;
      if (it->is_directory(ignored) && IsListedBackup(it->path().string())) found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    folders.insert(folders.end(), found.begin(), found.end());
  }
  std::vector<std::string> listed;
  for (const std::string& folder : folders) {
    std::string summary = BackupSummaryJson(folder, std::nullopt);
    if (summary.empty()) continue;
    listed.push_back(folder);
    TaskReport report;
    report.data = summary;
    command.SendProgress(report);
  }
  for (const std::string& folder : listed) {
    std::string summary = BackupSummaryJson(folder, FolderSize(folder));
    TaskReport report;
    report.stage = 1;
    report.data = summary;
    command.SendProgress(report);
  }
  return protocol::kResultOk;
}

int AnswerDeviceFlag(ZEBCommand& command, const char* domain, const char* key) {
  std::optional<PlistValue> value = CopySessionValue(*command.device(), domain, key);
  return value && value->IsBoolean() && value->AsBool() ? protocol::kResultOk : protocol::kResultNo;
}

int SetBackupPassword(ZEBCommand& command) {
  bool has_password = false;
  std::string password = JsonString(command, "password", &has_password);
  std::string tool = platform::GetEnvironment("CORVANE_BACKUP_PASSWORD_TOOL");
  int exit_code = 0;
  if (!has_password || tool.empty() ||
      !platform::RunElevated({tool, "--change", password, "--target", command.device()->UniqueDeviceID()},
                             &exit_code)) {
    command.result_info = ErrorInfo(tool.empty() ? "The backup password tool is not installed"
                                                 : "The backup password tool could not be run");
  }
  return AnswerDeviceFlag(command, "com.apple.mobile.backup", "WillEncrypt");
}

int IsITunesRunning() {
  return platform::AnyProcessMatches("iTunes.exe", true) ? protocol::kResultOk : protocol::kResultNo;
}

int EndITunes() {
  platform::SyncRedirector redirector;
  std::string output;
  int exit_code = 0;
  if (!redirector.Run("taskkill /f /im iTunes.exe", &output, &exit_code)) return protocol::kResultNo;
  return exit_code;
}

}  // namespace itunes
