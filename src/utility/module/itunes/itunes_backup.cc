// 1600 and 1601: a backup into a new folder under the backup root, and a restore of a backup folder.
#include <glog/logging.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "iOSAPI/plist_message.h"
#include "platform/platform.h"
#include "utility/backup/backup_runner.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/ios/zeb_device_values.h"
#include "utility/module/itunes/info_plist.h"
#include "utility/module/itunes/itunes_commands.h"
#include "utility/module/itunes/restore_source.h"
#include "utility/protocol_codes.h"

namespace itunes {
namespace {

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string BackupDirJson(const std::string& folder) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("BackupDir");
  writer.String(folder.data(), static_cast<rapidjson::SizeType>(folder.size()));
  writer.EndObject();
  return buffer.GetString();
}

}  // namespace

int Finish(ZEBCommand& command, const BackupResult& result) {
  command.result_info = ErrorInfo(result.text);
  return result.code;
}

BackupSessionHooks BackupHooksFor(const ZEBCommand& command, const std::string& udid) {
  BackupSessionHooks hooks;
  hooks.progress = [&command, udid](int step) {
    TaskReport report;
    report.stage = 1;
    report.code = step;
    report.uuid = udid;
    command.SendProgress(report);
  };
  hooks.cancelled = [&command] { return command.Aborted(); };
  return hooks;
}

int Backup(ZEBCommand& command) {
  std::string udid = command.device()->UniqueDeviceID();
  std::string root = JsonString(command, "path");
  root = WithSlash(root.empty() ? DefaultBackupRoot() : root);
  if (!platform::CreateDirectories(root)) {
    return Finish(command, {protocol::kResultIoFailed, "Cannot create the backup root " + root});
  }
  std::string name = ReserveBackupFolder(root, udid, Now());
  if (name.empty()) return Finish(command, {protocol::kResultIoFailed, "Cannot create a backup folder in " + root});
  BackupPathMap paths(root, udid, name);
  const std::string& folder = paths.folder();
  std::string dir_json = BackupDirJson(folder);
  TaskReport dir_report;
  dir_report.data = dir_json;
  command.SendProgress(dir_report);
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(*command.device(), kServiceAfc, &error, {}, true);
  std::optional<PlistValue> will_encrypt =
      CopyValue(*command.device(), "com.apple.mobile.backup", "WillEncrypt");
  bool encrypted = will_encrypt && will_encrypt->IsBoolean() && will_encrypt->AsBool();
  std::string earlier = SeedFromEarlierBackup(root, udid, folder, encrypted);
  if (!earlier.empty()) LOG(INFO) << "Backup " << folder << " starts from " << earlier;

  InfoPlistSources sources = CollectInfoPlistSources(*command.device(), afc.get());
  sources.now = Now();
  BackupResult result;
  if (!WriteInfoPlist(BuildInfoPlist(sources), folder)) {
    result = {protocol::kResultIoFailed, "Cannot write Info.plist into " + folder};
  } else {
    result = RunBackupOnDevice(*command.device(), paths, BackupHooksFor(command, udid));
  }
  if (result.code != protocol::kResultOk) {
    LOG(ERROR) << "Backup failed (" << result.code << " " << result.text << "); removing " << folder;
    platform::RemoveTree(folder);
  }
  return Finish(command, result);
}

int RestoreFromBackup(ZEBCommand& command, const ZEBDeviceConnectionPtr& device, const rapidjson::Value& parameters,
                      std::string* message) {
  bool has_path = false, has_source = false, has_password = false;
  std::string root = StringMember(parameters, "path", &has_path);
  std::string source = StringMember(parameters, "sourceDeviceId", &has_source);
  std::string password = StringMember(parameters, "password", &has_password);
  bool password_ok = has_password || !(parameters.IsObject() && parameters.HasMember("password"));
  auto fail = [message](const BackupResult& result) {
    *message = result.text;
    return result.code;
  };
  if (!has_path || !has_source || !password_ok || !IsSingleFolderName(source)) {
    return fail({protocol::kResultBadArguments, "ParameterError"});
  }
  root = WithSlash(root.empty() ? DefaultBackupRoot() : root);
  RestoreSource backup = FindRestoreSource(root, source);
  BackupPathMap paths(root, backup.identifier, backup.folder_name);

  std::ifstream in(paths.folder() + "Manifest.plist", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::string manifest_bytes = bytes.str();
  PlistValue manifest;
  if (!in || manifest_bytes.empty() || !ParseMessage(manifest_bytes.data(), manifest_bytes.size(), &manifest) ||
      !manifest.IsDict()) {
    return fail({protocol::kResultIoFailed, "BackupManifestPlistError"});
  }
  const PlistValue* encrypted = manifest.Find("IsEncrypted");
  RestoreRequest request;
  request.source_identifier = backup.identifier;
  request.target_identifier = device->UniqueDeviceID();
  request.encrypted = encrypted != nullptr && encrypted->IsBoolean() && encrypted->AsBool();
  request.password = password;
  BackupSessionHooks hooks = BackupHooksFor(command, request.target_identifier);
  return fail(RunRestoreOnDevice(*device, paths, request, hooks));
}

int Restore(ZEBCommand& command) {
  std::string message;
  int code = RestoreFromBackup(command, command.device(), command.json(), &message);
  command.result_info = ErrorInfo(message);
  return code;
}

}  // namespace itunes
