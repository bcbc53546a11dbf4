// ZEBBackupExtractRecordingWork: the voice recordings of a backup, and their audio files.
//
// The job waits for the three recording databases of the backup (Recordings.db, AssetManifest.plist,
// CloudRecordings.db). When they are in (or, after a complete backup, when those the backup holds are in) it
// reads the recordings from them, cloud database first, then the recordings database, the asset manifest, and
// the device's compositions (through the file service, when the registry has a connection). It then registers a
// "recording" job for the recordings' audio files (MediaDomain, "Library" + the recording's path), so they are
// kept as they arrive, and sends the list:
//   {"sub_command_type":"LIBMODEL_IBACKUP_QUERY_RECORDING_LIST","status":s,"data":[recording, ...]}
// with the records of the device listing. A stopped job sends what its databases give and registers nothing.
//
// Thread safety: the registry's thread.
#pragma once

#include "utility/backup/extract/extract_registry.h"
#include "utility/backup/extract/extract_work.h"
#include "utility/db/recordings/recording_collection.h"

class ZEBBackupExtractRecordingWork : public ZEBBackupExtractWork {
 public:
  explicit ZEBBackupExtractRecordingWork(ZEBBackupExtractRegistry& registry);

  bool FileArrived(const std::string& backup_name, const std::string& local_path) override;
  std::string BuildResult() override;
  void Finish() override;
  bool RegistersMore() const override { return true; }

 private:
  std::string ArrivedPath(const char* result_key) const;
  void ReadRecordings();
  void RegisterAudioFiles();

  recordings::RecordingCollection recordings_;
};

namespace backup_extract {
inline constexpr char kRecordingListName[] = "LIBMODEL_IBACKUP_QUERY_RECORDING_LIST";
inline constexpr char kCloudRecordingsSql[] =
    "select ZDURATION,ZPATH,ZCUSTOMLABEL,ZDATE from ZCLOUDRECORDING WHERE ZDURATION >= 0 and ZPATH is not null "
    "order by ZDATE asc";
}  // namespace backup_extract
