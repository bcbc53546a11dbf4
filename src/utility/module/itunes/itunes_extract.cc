// 1608: backup extraction. The requested jobs are registered, then the work backup runs with the registry's hooks;
// each job reports as soon as its files are in. See zeb_module_itunes.h for the protocol and the decisions.
#include <glog/logging.h>

#include <algorithm>
#include <chrono>

#include "libbasic/bas_utility_string.h"
#include "platform/platform.h"
#include "utility/backup/backup_runner.h"
#include "utility/backup/extract/backup_names.h"
#include "utility/backup/extract/extract_jobs.h"
#include "utility/backup/extract/manifest_work.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/itunes/itunes_commands.h"
#include "utility/module/plugins/plugin_request.h"
#include "utility/process_context.h"
#include "utility/protocol_codes.h"

namespace itunes {
namespace {

using namespace std::chrono_literals;

// A plug-in reads a whole Manifest.db or chat database to answer; a large one takes a while.
constexpr std::chrono::milliseconds kPluginTimeout = 120s;
// The first run, a second one for the files it could not bring (located in the manifest, or wanted only after
// they went by), and one more for files the second run's jobs add late.
constexpr int kMaxRuns = 3;

std::vector<int> RequestedTypes(const ZEBCommand& command, bool* present) {
  std::vector<int> types;
  const rapidjson::Value* info = command.info();
  auto member = info != nullptr ? info->FindMember("types") : rapidjson::Value::ConstMemberIterator();
  *present = info != nullptr && member != info->MemberEnd() && member->value.IsArray();
  if (!*present) return types;
  for (const rapidjson::Value& type : member->value.GetArray()) {
    if (type.IsInt()) types.push_back(type.GetInt());
  }
  return types;
}

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool WantsRecordings(const std::vector<int>& types) {
  return std::find(types.begin(), types.end(), backup_extract::kTypeRecording) != types.end();
}

}  // namespace

int ExtractFromBackup(ZEBCommand& command) {
  bool has_types = false;
  std::vector<int> types = RequestedTypes(command, &has_types);
  if (!has_types) return Finish(command, {protocol::kResultBadArguments, "ParameterError"});
  std::string udid = command.device()->UniqueDeviceID();
  bool modern = bas::BASUtilityString::CompareVersion(command.device()->Identity().productVersionUtf8, "10.0") >= 0;
  std::string process_folder = ProcessContext::Get().ProcessFolder(true);
  if (process_folder.empty()) return Finish(command, {protocol::kResultIoFailed, "No process folder"});
  std::string work_root = process_folder + "Backup0/";
  std::string keep_root = work_root + "Extract/";
  platform::CreateDirectories(keep_root);
  std::string keep_name = ReserveBackupFolder(keep_root, udid, Now());
  if (keep_name.empty()) return Finish(command, {protocol::kResultIoFailed, "Cannot create a folder in " + keep_root});

  // The compositions of voice recordings are read from the device itself; nothing else needs its file service.
  ZEBDeviceServicePtr afc;
  if (WantsRecordings(types)) {
    int error = 0;
    afc = StartService(*command.device(), kServiceAfc, &error, {}, true);
    LOG_IF(WARNING, !afc) << "Backup extraction: no file service (" << error << "); compositions are not read";
  }
  std::string task_id = std::to_string(command.packet().task_id);
  ZEBBackupExtractRegistry registry(
      udid, keep_root + keep_name + "/",
      [&command, &udid](const std::string& result) {
        TaskReport report;
        report.stage = 2;
        report.uuid = udid;
        report.data = result;
        command.SendProgress(report);
      },
      [task_id](const std::string& name, const std::string& request) {
        bas::PluginRegistry& bus = bas::PluginRegistry::Get();
        return AskPlugins(bus, bus.self_id(), name, task_id, request, kPluginTimeout);
      },
      afc.get());
  if (backup_extract::RegisterRequestedJobs(registry, types, modern) == 0) {
    return Finish(command, {protocol::kResultBadArguments, "ParameterError"});
  }
  // The files of an encrypted backup cannot be read without its password, so no job could report a usable file:
  // none waits for a backup that would only take time (its jobs would otherwise report encrypted files as found).
  if (AnswerDeviceFlag(command, "com.apple.mobile.backup", "WillEncrypt") == protocol::kResultOk) {
    LOG(INFO) << "Backup extraction: the device's backups are encrypted; every job ends with status 2";
    registry.EndUnfinished(backup_extract::kStatusEncrypted);
    return Finish(command, {});
  }

  BackupResult result;
  bool looked_up = false;
  for (int run = 0; run < kMaxRuns; ++run) {
    registry.BeginRun();
    BackupSessionHooks hooks = BackupHooksFor(command, udid);
    hooks.upload = registry.MakeUploadHooks();
    hooks.cancelled = [&command, &registry] { return command.Aborted() || registry.Exhausted(); };
    std::string folder;
    result = RunWorkBackup(*command.device(), udid, work_root, hooks, &folder);
    // The jobs keep their own copies of what they wanted; the rest of the folder is of no further use.
    if (!folder.empty()) platform::RemoveTree(folder);
    if (command.Aborted()) {
      registry.EndUnfinished(backup_extract::kStatusStopped);
      return Finish(command, {protocol::kResultAborted, "Task cancelled."});
    }
    if (result.code == protocol::kResultAborted && registry.Exhausted()) {
      LOG(INFO) << "Backup extraction: run " << run + 1 << " ended early, every job has what it can get";
      result = {};
    }
    if (result.code != protocol::kResultOk) break;
    ZEBBackupExtractWork* manifest = registry.index_job();
    if (manifest != nullptr && !looked_up && manifest->IsComplete()) {
      looked_up = true;
      backup_extract::LookupOutcome lookup = backup_extract::LookUpMissingFiles(registry);
      if (lookup.encrypted) {
        registry.EndUnfinished(backup_extract::kStatusEncrypted);
        return Finish(command, result);
      }
    }
    registry.SettleAfterRun();
    if (!registry.NeedsAnotherRun()) break;
  }
  registry.EndUnfinished(backup_extract::kStatusNotFound);
  return Finish(command, result);
}

}  // namespace itunes
