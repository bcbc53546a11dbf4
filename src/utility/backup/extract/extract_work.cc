#include "utility/backup/extract/extract_work.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "libbasic/bas_utility_file.h"
#include "utility/backup/extract/extract_registry.h"

using backup_extract::ExtractEntry;

ZEBBackupExtractWork::ZEBBackupExtractWork(ZEBBackupExtractRegistry& registry, std::string name)
    : registry_(registry), name_(std::move(name)) {}

ZEBBackupExtractWork::~ZEBBackupExtractWork() = default;

bool ZEBBackupExtractWork::IsComplete() const {
  return stopped_ || (!entries_.empty() && arrived_ == entries_.size());
}

bool ZEBBackupExtractWork::RecordArrival(const std::string& backup_name, const std::string& local_path) {
  auto it = entries_.find(backup_name);
  // Only a first arrival counts: a name the job does not know, or one that came twice, must not make it look
  // complete while another entry is still missing.
  if (it == entries_.end() || it->second.found || finished_) return false;
  it->second.local_path = local_path;
  it->second.found = true;
  ++arrived_;
  return true;
}

bool ZEBBackupExtractWork::FileArrived(const std::string& backup_name, const std::string& local_path) {
  if (!RecordArrival(backup_name, local_path)) return false;
  if (!IsComplete()) return false;
  Finish();
  return true;
}

std::vector<std::string> ZEBBackupExtractWork::WantedNames() const {
  std::vector<std::string> names;
  names.reserve(entries_.size());
  for (const auto& [name, entry] : entries_) names.push_back(name);
  return names;
}

void ZEBBackupExtractWork::Stop() {
  stopped_ = true;
  Finish();
}

bool ZEBBackupExtractWork::BeginFinish() {
  if (finished_) return false;
  finished_ = true;
  return true;
}

std::string ZEBBackupExtractWork::FilesResult() const {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key(name_.c_str());
  writer.StartArray();
  for (const auto& [name, entry] : entries_) {
    if (!entry.found) continue;
    int64_t size = bas::BASUtilityFile::GetFileSize(entry.local_path);
    if (size <= 0) continue;
    writer.StartObject();
    writer.Key("size");
    writer.Int64(size);
    writer.Key("type");
    writer.String(entry.result_key.c_str());
    writer.Key("path");
    writer.String(entry.local_path.c_str());
    writer.Key("relativePath");
    writer.String(entry.relative_path.c_str());
    writer.EndObject();
  }
  writer.EndArray();
  writer.Key("sub_command_type");
  writer.String(name_.c_str());
  writer.Key("status");
  writer.Int(status_);
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string ZEBBackupExtractWork::BuildResult() { return FilesResult(); }

void ZEBBackupExtractWork::Finish() {
  if (!BeginFinish()) return;
  registry_.Send(BuildResult());
}

void ZEBBackupExtractWork::AddEntry(const std::string& backup_name, std::string result_key,
                                    std::string relative_path) {
  entries_.emplace(backup_name, ExtractEntry{std::move(result_key), std::move(relative_path), {}, false});
}

bool ZEBBackupExtractWork::Rename(const std::string& old_name, const std::string& new_name) {
  auto it = entries_.find(old_name);
  if (it == entries_.end() || it->second.found || entries_.count(new_name) != 0) return false;
  ExtractEntry entry = std::move(it->second);
  entries_.erase(it);
  entries_.emplace(new_name, std::move(entry));
  return true;
}
