// ZEBBackupExtractRegistry: the jobs of one backup extraction command and the backup files they wait for.
//
// The command registers its jobs, then runs the work backup with the registry's upload hooks: for each file the
// device uploads, the registry tells whether a job that is not yet complete waits for that backup name (only
// those files are written), and when one has been written it keeps a copy and hands that to the waiting jobs.
// Jobs finish and report as soon as their files are in, while the backup goes on.
//
// Kept copies: the device uploads into the backup folder's Snapshot/ and moves or removes files later in the
// session, so each wanted file is hard-linked (copied where links cannot be made) into the registry's own folder
// under its backup name, which lies outside anything the device controls.
//
// Ending a run early: once every job is complete, or waits only for files that already went by in this run
// (registered after they passed; another run must fetch them), the run has nothing more to give and Exhausted()
// says so. The manifest job does not hold a run up: it matters only for files not found in the run.
//
// Names that went by: while a job that may register further jobs is unfinished, the registry remembers the
// backup names of the files the run has passed, so that a job registered later learns which of its files this run
// can no longer bring.
//
// Thread safety: the registry and its jobs belong to the command's thread (the backup run calls the hooks on it).
// Plug-in requests may wait on a helper thread but return on the caller's.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "utility/backup/extract/extract_work.h"
#include "utility/backup/upload_receiver.h"
#include "utility/ios/zeb_device_service.h"

class ZEBBackupExtractRegistry {
 public:
  // Sends a job's result text to the host (an item report of the command).
  using ReportSink = std::function<void(const std::string& result_text)>;
  // Sends a named request (JSON text) to the plug-ins; the reply's JSON text, or nothing when none answered.
  using PluginAsk = std::function<std::optional<std::string>(const std::string& name, const std::string& request)>;

  // `keep_folder` (ending in "/") receives the kept copies; `afc` (may be null; the caller keeps it while the
  // registry lives), the device's file service, lets the recording job read the device's compositions.
  ZEBBackupExtractRegistry(std::string device_id, std::string keep_folder, ReportSink sink, PluginAsk ask,
                           const ZEBDeviceService* afc = nullptr);
  ~ZEBBackupExtractRegistry();

  // Registers a job: its wanted names count towards the total and each name lists the job. Returns the job.
  ZEBBackupExtractWork* Register(std::unique_ptr<ZEBBackupExtractWork> work);
  // Whether any job is registered for this backup name.
  bool HasJobFor(const std::string& backup_name) const;
  // Marks the job whose completion is not needed to end a run early (the manifest job).
  void SetIndexJob(ZEBBackupExtractWork* job) { index_job_ = job; }
  ZEBBackupExtractWork* index_job() const { return index_job_; }

  // The run's side. BeginRun before each run; then the hooks for RunWorkBackup.
  void BeginRun();
  UploadHooks MakeUploadHooks();
  bool Wants(const std::string& backup_name);
  void Arrived(const std::string& backup_name, const std::string& written_path);
  // Nothing more can come of the current run (see the header comment).
  bool Exhausted();
  // Some unfinished job waits for a file another run can bring: one that went by before it was wanted, or one
  // renamed after the manifest lookup.
  bool NeedsAnotherRun() const;

  // Looks for the not yet arrived entries of `relative_path` under `new_name` (after the manifest lookup); the
  // number of entries renamed.
  size_t Relocate(const std::string& relative_path, const std::string& new_name);
  // Finishes, after a complete backup, the jobs that register more and got part of their files, unless another
  // run may still bring the rest.
  void SettleAfterRun();
  // Stops every unfinished job with `status` (each sends its one report); jobs registered meanwhile too.
  void EndUnfinished(int status);

  // Services for the jobs.
  void Send(const std::string& result_text) const;
  std::optional<std::string> Ask(const std::string& name, const std::string& request) const;
  const ZEBDeviceService* afc() const { return afc_; }
  const std::string& device_id() const { return device_id_; }
  const std::string& backup_folder() const { return backup_folder_; }
  void set_backup_folder(std::string folder) { backup_folder_ = std::move(folder); }

  size_t total_names() const { return total_names_; }
  std::vector<ZEBBackupExtractWork*> jobs() const;

 private:
  bool EntryWanted(const ZEBBackupExtractWork& job, const std::string& backup_name) const;
  bool AnyUnfinishedRegistersMore() const;

  const std::string device_id_;
  const std::string keep_folder_;
  const ReportSink sink_;
  const PluginAsk ask_;
  const ZEBDeviceService* const afc_;
  std::string backup_folder_;
  std::vector<std::unique_ptr<ZEBBackupExtractWork>> jobs_;
  std::map<std::string, std::vector<ZEBBackupExtractWork*>> by_name_;
  size_t total_names_ = 0;
  ZEBBackupExtractWork* index_job_ = nullptr;
  std::set<std::string> went_by_;     // names the current run passed while a job could still register more
  std::set<std::string> fetch_again_; // names another run must bring
};
