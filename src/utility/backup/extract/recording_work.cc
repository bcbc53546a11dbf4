#include "utility/backup/extract/recording_work.h"

#include <glog/logging.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "utility/backup/extract/backup_names.h"
#include "utility/db/recordings/recording_readers.h"

using namespace backup_extract;

namespace {
constexpr char kAudioResultKey[] = "recordings_path_map_key";
constexpr char kRecordingsPrefix[] = "/Recordings/";
}  // namespace

ZEBBackupExtractRecordingWork::ZEBBackupExtractRecordingWork(ZEBBackupExtractRegistry& registry)
    : ZEBBackupExtractWork(registry, "recording") {
  for (const KnownDatabase& known : KnownDatabases()) {
    if (known.type == kTypeRecording) AddEntry(known.backup_name, known.result_key, known.relative_path);
  }
}

bool ZEBBackupExtractRecordingWork::FileArrived(const std::string& backup_name, const std::string& local_path) {
  if (!RecordArrival(backup_name, local_path) || !IsComplete()) return false;
  Finish();
  return true;
}

std::string ZEBBackupExtractRecordingWork::ArrivedPath(const char* result_key) const {
  for (const auto& [name, entry] : entries()) {
    if (entry.found && entry.result_key == result_key) return entry.local_path;
  }
  return std::string();
}

void ZEBBackupExtractRecordingWork::ReadRecordings() {
  if (std::string cloud = ArrivedPath("cloud_recordings_db_path"); !cloud.empty()) {
    recordings::ReadRecordingsDatabase(cloud, kCloudRecordingsSql, recordings::kCloudDatabase, nullptr,
                                       &recordings_);
  }
  if (std::string database = ArrivedPath("recording_db_path"); !database.empty()) {
    recordings::ReadRecordingsDatabase(database, recordings::kRecordingsSql, recordings::kDatabase, nullptr,
                                       &recordings_);
  }
  if (std::string manifest = ArrivedPath("asset_manifest_path"); !manifest.empty()) {
    recordings::ReadAssetManifest(manifest, &recordings_);
  }
  // A stopped job reports what its files give and does not keep the device any longer.
  if (!stopped() && registry().afc() != nullptr) recordings::ReadCompositions(*registry().afc(), &recordings_);
}

void ZEBBackupExtractRecordingWork::RegisterAudioFiles() {
  auto audio = std::make_unique<ZEBBackupExtractWork>(registry(), "recording");
  for (const recordings::Recording& recording : recordings_.records()) {
    if (recording.path.rfind(kRecordingsPrefix, 0) != 0) continue;
    std::string relative = "Library" + recording.path;
    audio->AddEntry(BackupFileName(kRecordingDomain, relative), kAudioResultKey, relative);
  }
  // A job without entries could never complete.
  if (!audio->entries().empty()) registry().Register(std::move(audio));
}

std::string ZEBBackupExtractRecordingWork::BuildResult() {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("sub_command_type");
  writer.String(kRecordingListName);
  writer.Key("status");
  writer.Int(status());
  writer.Key("data");
  std::string records = recordings_.JsonArray();
  writer.RawValue(records.data(), records.size(), rapidjson::kArrayType);
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

void ZEBBackupExtractRecordingWork::Finish() {
  if (!BeginFinish()) return;
  ReadRecordings();
  if (!stopped()) RegisterAudioFiles();
  registry().Send(BuildResult());
}
