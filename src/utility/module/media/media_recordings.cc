// Command 1002: the voice recordings, from the recordings database, the asset manifest and the compositions.
#include <glog/logging.h>

#include "utility/db/device_snapshot.h"
#include "utility/db/recordings/recording_readers.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/media/media_reports.h"
#include "utility/module/media/zeb_module_media.h"

int ZEBModuleMedia::ListRecordings(ZEBCommand& command) {
  ZEBDeviceConnection& record = *command.device();
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(record, kServiceAfc, &error, {}, true);
  if (!afc) return protocol::kResultNoFileService;

  recordings::RecordingCollection collected;
  bool database, manifest;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    database = TakeSnapshot(record, *afc, Snapshot::kRecordings);
  }
  if (database) {
    int code = recordings::ReadRecordingsDatabase(record.SnapshotPath(SnapshotRole::kRecordingsDatabase),
                                                  recordings::kRecordingsSql, recordings::kDatabase,
                                                  afc.get(), &collected);
    if (code != 0) return code;
  }
  if (command.Aborted()) return kResultAborted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    manifest = TakeSnapshot(record, *afc, Snapshot::kRecordingManifest);
  }
  if (manifest) {
    recordings::ReadAssetManifest(record.SnapshotPath(SnapshotRole::kRecordingAssetManifest), *afc,
                                  &collected);
  }
  if (command.Aborted()) return kResultAborted;
  // A device without a "/Recordings" folder simply has no compositions; what the other sources gave is the list.
  recordings::ReadCompositions(*afc, &collected);
  if (record.state != ZEBDeviceConnection::kReady) return protocol::kResultNoDevice;

  media::MediaSender sender(command);
  sender.SendCount(media::kReportRecordings, "{\"Count\":" + std::to_string(collected.size()) + "}");
  sender.SendItems(media::kReportRecordings, collected.JsonArray());
  return kResultOk;
}
