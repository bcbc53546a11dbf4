#include "utility/backup/extract/manifest_work.h"

#include <glog/logging.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <set>

#include "utility/backup/extract/backup_names.h"

using namespace backup_extract;

ZEBBackupExtractManifestDbWork::ZEBBackupExtractManifestDbWork(ZEBBackupExtractRegistry& registry)
    : ZEBBackupExtractWork(registry, kManifestDbName) {
  AddEntry(kManifestDbName, "manifest_db_path", kManifestDbName);
  AddEntry(kManifestPlistName, "manifest_plist_path", kManifestPlistName);
}

bool ZEBBackupExtractManifestDbWork::FileArrived(const std::string& backup_name, const std::string& local_path) {
  if (!RecordArrival(backup_name, local_path) || !IsComplete()) return false;
  registry().set_backup_folder(local_path.substr(0, local_path.rfind('/') + 1));
  Finish();
  return true;
}

namespace backup_extract {

LookupOutcome LookUpMissingFiles(ZEBBackupExtractRegistry& registry) {
  LookupOutcome outcome;
  std::set<std::string> missing;
  for (const ZEBBackupExtractWork* job : registry.jobs()) {
    if (job->finished() || job->name() == kManifestDbName) continue;
    for (const auto& [name, entry] : job->entries()) {
      if (!entry.found) missing.insert(entry.relative_path);
    }
  }
  if (missing.empty()) return outcome;
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("isEncrypted");
  writer.Bool(false);
  writer.Key("backupDir");
  writer.String(registry.backup_folder().c_str());
  writer.Key("queryRelativePaths");
  writer.StartObject();
  for (const std::string& path : missing) {
    writer.Key(path.c_str());
    writer.String("");
  }
  writer.EndObject();
  writer.EndObject();
  outcome.asked = true;
  std::optional<std::string> reply = registry.Ask(kManifestQuery, buffer.GetString());
  if (!reply) {
    LOG(WARNING) << "No plug-in answered " << kManifestQuery << "; " << missing.size() << " files stay unlocated";
    return outcome;
  }
  rapidjson::Document document;
  document.Parse(reply->c_str());
  if (document.HasParseError() || !document.IsObject()) {
    LOG(WARNING) << "The reply to " << kManifestQuery << " is not a JSON object";
    return outcome;
  }
  outcome.answered = true;
  auto encrypted = document.FindMember("isEncrypted");
  outcome.encrypted = encrypted != document.MemberEnd() && encrypted->value.IsBool() && encrypted->value.GetBool();
  auto paths = document.FindMember("queryRelativePaths");
  if (outcome.encrypted || paths == document.MemberEnd() || !paths->value.IsObject()) return outcome;
  for (const auto& member : paths->value.GetObject()) {
    if (!member.value.IsString()) continue;
    std::string path(member.name.GetString(), member.name.GetStringLength());
    std::string name(member.value.GetString(), member.value.GetStringLength());
    if (missing.count(path) == 0 || name.empty()) continue;
    if (!IsBackupFileName(name)) {
      LOG(WARNING) << "Ignored the backup name the plug-in gave for " << path << ": not a file name";
      continue;
    }
    outcome.relocated += registry.Relocate(path, name);
  }
  return outcome;
}

}  // namespace backup_extract
