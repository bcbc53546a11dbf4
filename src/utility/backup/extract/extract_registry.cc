#include "utility/backup/extract/extract_registry.h"

#include <glog/logging.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "utility/backup/extract/backup_names.h"

namespace fs = std::filesystem;

ZEBBackupExtractRegistry::ZEBBackupExtractRegistry(std::string device_id, std::string keep_folder,
                                                   ReportSink sink, PluginAsk ask, const ZEBDeviceService* afc)
    : device_id_(std::move(device_id)),
      keep_folder_(std::move(keep_folder)),
      sink_(std::move(sink)),
      ask_(std::move(ask)),
      afc_(afc) {}

ZEBBackupExtractRegistry::~ZEBBackupExtractRegistry() = default;

ZEBBackupExtractWork* ZEBBackupExtractRegistry::Register(std::unique_ptr<ZEBBackupExtractWork> work) {
  ZEBBackupExtractWork* job = work.get();
  std::vector<std::string> names = job->WantedNames();
  total_names_ += names.size();
  for (const std::string& name : names) {
    by_name_[name].push_back(job);
    if (went_by_.count(name) != 0) fetch_again_.insert(name);
  }
  jobs_.push_back(std::move(work));
  return job;
}

bool ZEBBackupExtractRegistry::HasJobFor(const std::string& backup_name) const {
  auto it = by_name_.find(backup_name);
  return it != by_name_.end() && !it->second.empty();
}

void ZEBBackupExtractRegistry::BeginRun() {
  went_by_.clear();
  fetch_again_.clear();
}

UploadHooks ZEBBackupExtractRegistry::MakeUploadHooks() {
  UploadHooks hooks;
  hooks.wanted = [this](const std::string& local_path) {
    return Wants(backup_extract::NameFromLocalPath(local_path));
  };
  hooks.written = [this](const std::string&, const std::string& local_path) {
    Arrived(backup_extract::NameFromLocalPath(local_path), local_path);
  };
  return hooks;
}

bool ZEBBackupExtractRegistry::EntryWanted(const ZEBBackupExtractWork& job, const std::string& backup_name) const {
  if (job.finished() || job.IsComplete()) return false;
  auto entry = job.entries().find(backup_name);
  return entry != job.entries().end() && !entry->second.found;
}

bool ZEBBackupExtractRegistry::AnyUnfinishedRegistersMore() const {
  return std::any_of(jobs_.begin(), jobs_.end(),
                     [](const auto& job) { return job->RegistersMore() && !job->finished(); });
}

bool ZEBBackupExtractRegistry::Wants(const std::string& backup_name) {
  if (backup_name.empty()) return false;
  if (backup_extract::IsBackupFileName(backup_name) && AnyUnfinishedRegistersMore()) went_by_.insert(backup_name);
  auto it = by_name_.find(backup_name);
  if (it == by_name_.end()) return false;
  return std::any_of(it->second.begin(), it->second.end(),
                     [&](const ZEBBackupExtractWork* job) { return EntryWanted(*job, backup_name); });
}

void ZEBBackupExtractRegistry::Arrived(const std::string& backup_name, const std::string& written_path) {
  if (backup_name.empty()) return;
  auto it = by_name_.find(backup_name);
  if (it == by_name_.end()) return;
  std::string kept = keep_folder_ + backup_name;
  std::error_code error;
  fs::create_directories(keep_folder_, error);
  fs::remove(kept, error);
  fs::create_hard_link(written_path, kept, error);
  if (error) {
    error.clear();
    fs::copy_file(written_path, kept, fs::copy_options::overwrite_existing, error);
  }
  if (error) {
    LOG(ERROR) << "Cannot keep the backup file " << written_path << " as " << kept << ": " << error.message();
    return;
  }
  // A job that finishes may register more jobs, and so change the lists.
  std::vector<ZEBBackupExtractWork*> waiting = it->second;
  for (ZEBBackupExtractWork* job : waiting) job->FileArrived(backup_name, kept);
}

bool ZEBBackupExtractRegistry::Exhausted() {
  for (const auto& job : jobs_) {
    if (job.get() == index_job_ || job->finished() || job->IsComplete()) continue;
    for (const auto& [name, entry] : job->entries()) {
      if (!entry.found && went_by_.count(name) == 0) return false;
    }
  }
  return true;
}

bool ZEBBackupExtractRegistry::NeedsAnotherRun() const {
  for (const auto& job : jobs_) {
    if (job->finished()) continue;
    for (const auto& [name, entry] : job->entries()) {
      if (!entry.found && fetch_again_.count(name) != 0) return true;
    }
  }
  return false;
}

size_t ZEBBackupExtractRegistry::Relocate(const std::string& relative_path, const std::string& new_name) {
  size_t renamed = 0;
  for (const auto& job : jobs_) {
    if (job->finished() || job.get() == index_job_) continue;
    std::vector<std::string> old_names;
    for (const auto& [name, entry] : job->entries()) {
      if (!entry.found && entry.relative_path == relative_path && name != new_name) old_names.push_back(name);
    }
    for (const std::string& old_name : old_names) {
      if (!job->Rename(old_name, new_name)) continue;
      std::vector<ZEBBackupExtractWork*>& listed = by_name_[old_name];
      listed.erase(std::remove(listed.begin(), listed.end(), job.get()), listed.end());
      by_name_[new_name].push_back(job.get());
      fetch_again_.insert(new_name);
      ++renamed;
    }
  }
  return renamed;
}

void ZEBBackupExtractRegistry::SettleAfterRun() {
  std::vector<ZEBBackupExtractWork*> settling;
  for (const auto& job : jobs_) {
    if (!job->RegistersMore() || job->finished() || job->arrived() == 0) continue;
    bool more_to_come = false;
    for (const auto& [name, entry] : job->entries()) more_to_come |= !entry.found && fetch_again_.count(name) != 0;
    if (!more_to_come) settling.push_back(job.get());
  }
  for (ZEBBackupExtractWork* job : settling) job->Finish();
}

void ZEBBackupExtractRegistry::EndUnfinished(int status) {
  for (;;) {
    std::vector<ZEBBackupExtractWork*> unfinished;
    for (const auto& job : jobs_) {
      if (!job->finished()) unfinished.push_back(job.get());
    }
    if (unfinished.empty()) return;
    for (ZEBBackupExtractWork* job : unfinished) {
      job->set_status(status);
      job->Stop();
    }
  }
}

void ZEBBackupExtractRegistry::Send(const std::string& result_text) const {
  if (sink_) sink_(result_text);
}

std::optional<std::string> ZEBBackupExtractRegistry::Ask(const std::string& name, const std::string& request) const {
  if (!ask_) return std::nullopt;
  return ask_(name, request);
}

std::vector<ZEBBackupExtractWork*> ZEBBackupExtractRegistry::jobs() const {
  std::vector<ZEBBackupExtractWork*> all;
  for (const auto& job : jobs_) all.push_back(job.get());
  return all;
}
