#include "utility/db/device_snapshot.h"

#include <glog/logging.h>

#include "utility/db/device_folder.h"
#include "utility/ios/zeb_afc.h"

namespace {

const SnapshotRow kMediaLibraryRow{
    {{"//iTunes_Control//iTunes//MediaLibrary.sqlitedb", SnapshotRole::kMediaLibraryDatabase}},
    {"//iTunes_Control//iTunes//MediaLibrary.sqlitedb-shm", "//iTunes_Control//iTunes//MediaLibrary.sqlitedb-wal"}};

const SnapshotRow kLibraryRow{
    {{"//iTunes_Control//iTunes//iTunes Library.itlp//Library.itdb", SnapshotRole::kLibraryDatabase},
     {"//iTunes_Control//iTunes//iTunes Library.itlp//Locations.itdb", SnapshotRole::kLocationsDatabase}},
    {"//iTunes_Control//iTunes//iTunes Library.itlp//Library.itdb-journal",
     "//iTunes_Control//iTunes//iTunes Library.itlp//Library.itdb-shm",
     "//iTunes_Control//iTunes//iTunes Library.itlp//Library.itdb-wal",
     "//iTunes_Control//iTunes//iTunes Library.itlp//Locations.itdb.cbk"}};

const SnapshotRow kLegacyTrackRow{{{"//iTunes_Control//iTunes//iTunesCDB", SnapshotRole::kLegacyTrackDatabase}}, {}};
const SnapshotRow kRingtonesRow{{{"//iTunes_Control//iTunes//Ringtones.plist", SnapshotRole::kRingtoneList}}, {}};
const SnapshotRow kBooksRow{{{"//Books//Books.plist", SnapshotRole::kBookList}}, {}, true};
const SnapshotRow kPurchasedBooksRow{
    {{"//Books//Purchases//Purchases.plist", SnapshotRole::kPurchasedBookList}}, {}, true};
const SnapshotRow kRecordingManifestRow{
    {{"//Recordings//AssetManifest.plist", SnapshotRole::kRecordingAssetManifest}}, {}};
const SnapshotRow kRecordingsRow{{{"//Recordings//Recordings.db", SnapshotRole::kRecordingsDatabase}},
                                 {"//Recordings//Recordings.db-shm", "//Recordings//Recordings.db-wal"}};
const SnapshotRow kPhotosRow{{{"//PhotoData//Photos.sqlite", SnapshotRole::kPhotoDatabase}},
                             {"//PhotoData//Photos.sqlite-shm", "//PhotoData//Photos.sqlite-wal"}};

}  // namespace

const SnapshotRow& SnapshotRowOf(Snapshot snapshot) {
  switch (snapshot) {
    case Snapshot::kMediaLibrary: return kMediaLibraryRow;
    case Snapshot::kLibrary: return kLibraryRow;
    case Snapshot::kLegacyTrackDatabase: return kLegacyTrackRow;
    case Snapshot::kRingtones: return kRingtonesRow;
    case Snapshot::kBooks: return kBooksRow;
    case Snapshot::kPurchasedBooks: return kPurchasedBooksRow;
    case Snapshot::kRecordingManifest: return kRecordingManifestRow;
    case Snapshot::kRecordings: return kRecordingsRow;
    case Snapshot::kPhotos: return kPhotosRow;
  }
  return kMediaLibraryRow;
}

std::string DeviceFileName(const std::string& device_path) {
  size_t slash = device_path.find_last_of('/');
  return slash == std::string::npos ? device_path : device_path.substr(slash + 1);
}

bool TakeSnapshot(ZEBDeviceConnection& record, const ZEBDeviceService& afc, Snapshot snapshot) {
  return TakeSnapshot(record, afc, SnapshotRowOf(snapshot));
}

bool TakeSnapshot(ZEBDeviceConnection& record, const ZEBDeviceService& afc, const SnapshotRow& row) {
  std::string folder = DeviceFolder(record.UniqueDeviceID());
  if (folder.empty()) return false;
  std::vector<std::string> copies;
  for (const SnapshotMainFile& main : row.main_files) {
    std::string target = folder + DeviceFileName(main.device_path);
    if (row.path_set_before_copy) record.SetSnapshotPath(main.role, target);
    if (!DownloadFile(afc, main.device_path, target)) {
      LOG(WARNING) << "No snapshot of " << main.device_path;
      return false;
    }
    copies.push_back(std::move(target));
  }
  for (size_t i = 0; i < copies.size(); ++i) record.SetSnapshotPath(row.main_files[i].role, copies[i]);
  for (const char* companion : row.companions) {
    (void)DownloadFile(afc, companion, folder + DeviceFileName(companion));
  }
  return true;
}
