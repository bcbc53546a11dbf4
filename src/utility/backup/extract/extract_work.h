// ZEBBackupExtractWork: one extraction job, the files of a backup it waits for and the result it sends the host.
//
// A job holds one entry per wanted file, keyed by the file's backup name (see backup_names.h). The registry hands
// it each wanted file as it arrives (FileArrived); once every entry has arrived the job is complete and finishes:
// it builds its result text and sends it through the registry, at once, while the backup still runs. A job that
// is stopped (the backup ended without its files, or the host stopped the command) finishes with what it has.
// Finish runs once whatever happens.
//
// Result text: {<job name>: [{"size","type","path","relativePath"}, ...], "sub_command_type": <job name>,
// "status": s}, one array member per arrived file of non-zero size ("type" is the entry's result key, "path" the
// kept local copy). Status values:
//   1  every wanted file arrived;
//   0  the backup ended without some of them (not in the backup, the backup failed, or the run ended early
//      because no job needed it any more); the array lists those that did arrive;
//   2  the backup is encrypted: its files cannot be read without the backup password, so none is looked for
//      again;
//   6  the host stopped the command.
//
// The virtual operations come in a fixed order (destructor, is complete, file arrived, wanted names, stop, build
// result, finish); the subclasses override the ones they change.
//
// Thread safety: a job belongs to the backup run's thread, like its registry.
#pragma once

#include <map>
#include <string>
#include <vector>

class ZEBBackupExtractRegistry;

namespace backup_extract {

inline constexpr int kStatusNotFound = 0;
inline constexpr int kStatusComplete = 1;
inline constexpr int kStatusEncrypted = 2;
inline constexpr int kStatusStopped = 6;

struct ExtractEntry {
  std::string result_key;     // the member name the file is reported under, such as "sms_db_path"
  std::string relative_path;  // inside its domain, such as "Library/SMS/sms.db"
  std::string local_path;     // the kept copy; empty until the file arrived
  bool found = false;
};

}  // namespace backup_extract

class ZEBBackupExtractWork {
 public:
  ZEBBackupExtractWork(ZEBBackupExtractRegistry& registry, std::string name);
  ZEBBackupExtractWork(const ZEBBackupExtractWork&) = delete;
  ZEBBackupExtractWork& operator=(const ZEBBackupExtractWork&) = delete;

  virtual ~ZEBBackupExtractWork();
  // True once stopped, or when it has entries and each of them has arrived.
  virtual bool IsComplete() const;
  // A wanted file arrived at `local_path`. False for a name the job does not wait for; otherwise true when the
  // job is complete (and then it has finished).
  virtual bool FileArrived(const std::string& backup_name, const std::string& local_path);
  virtual std::vector<std::string> WantedNames() const;
  // Marks the job stopped and finishes it with what it has; set the status first.
  virtual void Stop();
  virtual std::string BuildResult();
  // Builds the result and sends it through the registry, once.
  virtual void Finish();
  // Whether finishing may register further jobs (so that the backup must not end before this job is complete).
  virtual bool RegistersMore() const { return false; }

  // Adds an entry (before the job is registered). A second entry of the same name is ignored.
  void AddEntry(const std::string& backup_name, std::string result_key, std::string relative_path);
  // Looks for the entry `old_name`, not yet arrived, under `new_name` instead; false when there is no such entry
  // or the job already has an entry `new_name`.
  bool Rename(const std::string& old_name, const std::string& new_name);

  const std::string& name() const { return name_; }
  const std::map<std::string, backup_extract::ExtractEntry>& entries() const { return entries_; }
  size_t arrived() const { return arrived_; }
  int status() const { return status_; }
  void set_status(int status) { status_ = status; }
  bool stopped() const { return stopped_; }
  bool finished() const { return finished_; }

 protected:
  // The shared part of FileArrived: records the arrival of a wanted entry not yet arrived; false otherwise.
  bool RecordArrival(const std::string& backup_name, const std::string& local_path);
  // True the first time only: a job finishes once.
  bool BeginFinish();
  // The result text of the header comment.
  std::string FilesResult() const;
  ZEBBackupExtractRegistry& registry() { return registry_; }

 private:
  ZEBBackupExtractRegistry& registry_;
  std::string name_;
  std::map<std::string, backup_extract::ExtractEntry> entries_;
  size_t arrived_ = 0;
  bool stopped_ = false;
  bool finished_ = false;
  int status_ = backup_extract::kStatusComplete;
};
