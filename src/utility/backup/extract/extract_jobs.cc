#include "utility/backup/extract/extract_jobs.h"

#include <glog/logging.h>

#include "utility/backup/extract/backup_names.h"
#include "utility/backup/extract/manifest_work.h"
#include "utility/backup/extract/recording_work.h"
#include "utility/backup/extract/whatsapp_work.h"

namespace backup_extract {

namespace {

std::unique_ptr<ZEBBackupExtractWork> JobFor(ZEBBackupExtractRegistry& registry, int type) {
  if (type == kTypeRecording) return std::make_unique<ZEBBackupExtractRecordingWork>(registry);
  if (type == kTypeWhatsApp || type == kTypeWhatsAppToo) return std::make_unique<ZEBBackupExtractWhatsAppWork>(registry);
  std::unique_ptr<ZEBBackupExtractWork> job;
  for (const KnownDatabase& known : KnownDatabases()) {
    if (known.type != type) continue;
    if (!job) job = std::make_unique<ZEBBackupExtractWork>(registry, known.job_name);
    job->AddEntry(known.backup_name, known.result_key, known.relative_path);
  }
  return job;
}

}  // namespace

size_t RegisterRequestedJobs(ZEBBackupExtractRegistry& registry, const std::vector<int>& types, bool with_manifest) {
  if (with_manifest) registry.SetIndexJob(registry.Register(std::make_unique<ZEBBackupExtractManifestDbWork>(registry)));
  size_t registered = 0;
  for (int type : types) {
    std::unique_ptr<ZEBBackupExtractWork> job = JobFor(registry, type);
    if (!job) {
      LOG(WARNING) << "Backup extraction: unknown type " << type << " skipped";
      continue;
    }
    if (registry.HasJobFor(job->WantedNames().front())) continue;
    registry.Register(std::move(job));
    ++registered;
  }
  return registered;
}

}  // namespace backup_extract
