// Command 1001: books (1008) and ringtones (1003), from the device's lists and its legacy track database.
#include <glog/logging.h>

#include <fstream>
#include <sstream>

#include "iOSAPI/plist_message.h"
#include "utility/db/device_snapshot.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/media/book_lists.h"
#include "utility/module/media/media_reports.h"
#include "utility/module/media/zeb_module_media.h"

namespace media {

bool ReadLocalFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  *bytes = content.str();
  return true;
}

bool ReadPlistFile(const std::string& path, PlistValue* value) {
  std::string bytes;
  return ReadLocalFile(path, &bytes) && !bytes.empty() && ParseMessage(bytes.data(), bytes.size(), value);
}

}  // namespace media

int ZEBModuleMedia::ListBooksAndRingtones(ZEBCommand& command) {
  using namespace media;
  ZEBDeviceConnection& record = *command.device();
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(record, kServiceAfc, &error, {}, true);
  if (!afc) return protocol::kResultNoFileService;
  const ZEBDeviceService& connection = *afc;
  DeviceFileSize size_of = [&connection](const std::string& path, int64_t* size) {
    ZEBFileInfo info;
    if (!GetFileInfo(connection, path, &info)) return false;
    *size = info.size;
    return true;
  };
  auto take = [&](Snapshot snapshot) {
    std::lock_guard<std::mutex> lock(mutex_);
    return TakeSnapshot(record, connection, snapshot);
  };

  std::vector<Book> legacy_books;
  std::vector<Ringtone> legacy_ringtones;
  if (take(Snapshot::kLegacyTrackDatabase)) {
    std::string bytes, parse_error;
    std::vector<LegacyTrack> tracks;
    if (ReadLocalFile(record.SnapshotPath(SnapshotRole::kLegacyTrackDatabase), &bytes) &&
        ParseLegacyTrackDatabase(bytes, &tracks, &parse_error)) {
      SplitLegacyTracks(tracks, size_of, &legacy_books, &legacy_ringtones);
    } else {
      LOG(ERROR) << "The legacy track database cannot be read: " << parse_error;
    }
  }
  if (command.Aborted()) return kResultAborted;

  std::vector<Ringtone> ringtones;
  PlistValue list;
  if (take(Snapshot::kRingtones) && ReadPlistFile(record.SnapshotPath(SnapshotRole::kRingtoneList), &list)) {
    AppendListedRingtones(list, size_of, &ringtones);
  }
  ringtones.insert(ringtones.end(), legacy_ringtones.begin(), legacy_ringtones.end());

  std::vector<Book> books;
  if (take(Snapshot::kBooks) && ReadPlistFile(record.SnapshotPath(SnapshotRole::kBookList), &list)) {
    AppendListedBooks(list, kBooksFolder, /*purchased=*/false, size_of, &books);
  }
  if (take(Snapshot::kPurchasedBooks) && ReadPlistFile(record.SnapshotPath(SnapshotRole::kPurchasedBookList), &list)) {
    AppendListedBooks(list, kPurchasesFolder, /*purchased=*/true, size_of, &books);
  }
  MergeLegacyBooks(legacy_books, &books);
  if (command.Aborted()) return kResultAborted;
  if (record.state != ZEBDeviceConnection::kReady) return protocol::kResultNoDevice;

  MediaSender sender(command);
  sender.SendRecords(kReportBooks, books, BookJson);
  sender.SendRecords(kReportRingtones, ringtones, RingtoneJson);
  return kResultOk;
}
