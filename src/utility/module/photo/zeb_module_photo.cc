#include "utility/module/photo/zeb_module_photo.h"

#include <glog/logging.h>

#include <memory>

#include "utility/command_payload.h"
#include "utility/db/device_snapshot.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/listing/listing_reporter.h"
#include "utility/module/photo/photo_document.h"
#include "utility/module/photo/photo_listing.h"
#include "utility/module/photo/photo_thumbnails.h"
#include "utility/zeb_utility.h"

namespace {

constexpr size_t kParameterBlockLimit = 64 * 1024 * 1024;

int64_t InfoInteger(const ZEBCommand& command, const char* key) {
  const rapidjson::Value* info = command.info();
  if (info == nullptr) return 0;
  auto member = info->FindMember(key);
  return member != info->MemberEnd() && member->value.IsInt64() ? member->value.GetInt64() : 0;
}

ZEBDeviceServicePtr StartFileService(const ZEBCommand& command) {
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(*command.device(), kServiceAfc, &error, {}, true);
  if (!afc) {
    LOG(ERROR) << "Photo command " << command.type() << ": no file service (" << error << ")";
    return nullptr;
  }
  return afc;
}

// The zlib-compressed JSON object after the command JSON.
bool ReadParameterBlock(const ZEBCommand& command, rapidjson::Document* block) {
  std::string text;
  return ZlibDecompress(command.data(), &text, kParameterBlockLimit) && ParseJsonObject(text, block);
}

class AfcThumbnailDevice : public ThumbnailDevice {
 public:
  explicit AfcThumbnailDevice(const ZEBDeviceService& afc) : afc_(afc) {}
  bool ModifyTime(const std::string& path, int64_t* seconds) override {
    ZEBFileInfo info;
    if (!GetFileInfo(afc_, path, &info)) return false;
    *seconds = info.modifyTime;
    return true;
  }
  bool Download(const std::string& path, std::string* bytes) override {
    return DownloadFileToMemory(afc_, path, bytes);
  }

 private:
  const ZEBDeviceService& afc_;
};

}  // namespace

ZEBModulePhoto& ZEBModulePhoto::Get() {
  static ZEBModulePhoto module;
  return module;
}

int ZEBModulePhoto::OnCommand(ZEBCommand& command) {
  switch (command.type()) {
    case protocol::kTypePhotoCameraRoll: return RunListing(command, PhotoQuery::kCameraRoll);
    case protocol::kTypePhotoAlbums: return RunListing(command, PhotoQuery::kAlbumList);
    case protocol::kTypePhotoAlbumPhotos: return RunListing(command, PhotoQuery::kAlbumPhotos);
    case protocol::kTypePhotoThumbnails: return RunThumbnails(command);
    case protocol::kTypePhotoNamedOperation: return RunNamedOperation(command);
    default: return kResultOk;
  }
}

std::string ZEBModulePhoto::PhotoDatabase(ZEBDeviceConnection& record, const ZEBDeviceService& afc, bool refresh) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string path = record.SnapshotPath(SnapshotRole::kPhotoDatabase);
  if (!path.empty() && !refresh) return path;
  if (!TakeSnapshot(record, afc, Snapshot::kPhotos)) return std::string();
  return record.SnapshotPath(SnapshotRole::kPhotoDatabase);
}

int ZEBModulePhoto::RunListing(ZEBCommand& command, PhotoQuery query) {
  ZEBDeviceServicePtr afc = StartFileService(command);
  if (!afc) return protocol::kResultNoFileService;
  ZEBDeviceConnection& record = *command.device();
  PhotoRequest request;
  request.path = PhotoDatabase(record, *afc, InfoInteger(command, "refresh") != 0);
  if (request.path.empty()) return protocol::kResultNoPhotoDatabase;
  request.product_version = record.Identity().productVersionUtf8;
  if (query == PhotoQuery::kAlbumPhotos) {
    request.album_id = InfoInteger(command, "album_id");
    int64_t type = InfoInteger(command, "album_type");
    request.album_type = type >= 0 && type <= 8 ? static_cast<int>(type) : -1;
  }

  const ZEBDeviceService& connection = *afc;
  PhotoListing listing(
      [&connection](const std::string& path, int64_t* size) {
        ZEBFileInfo info;
        if (!IsSafePhotoPath(path) || !GetFileInfo(connection, "/" + path, &info)) return false;
        *size = info.size;
        return true;
      },
      [&command] { return command.Aborted(); });
  int result = forms_.Run(query, request, listing);
  if (!listing.ok()) return protocol::kResultIoFailed;
  if (result != kResultOk) return result;
  ListingOptions options;
  options.batch = query == PhotoQuery::kAlbumList ? kAlbumsPerReport : kPhotosPerReport;
  // A camera roll runs to hundreds of thousands of photos; deflating its batches took as long as the query.
  options.stored_data = true;
  ListingReporter reporter(command.uuid(), options, [&command](const TaskReport& report) {
    command.SendProgress(report);
  });
  return listing.Replay(reporter) ? kResultOk : protocol::kResultIoFailed;
}

int ZEBModulePhoto::RunThumbnails(ZEBCommand& command) {
  rapidjson::Document block;
  if (!ReadParameterBlock(command, &block)) return protocol::kResultBadArguments;
  ZEBDeviceServicePtr afc = StartFileService(command);
  if (!afc) return protocol::kResultNoFileService;
  AfcThumbnailDevice device(*afc);
  return SendThumbnails(
      block, device,
      [&command](const std::string& info, const std::string& bytes) {
        TaskReport report;
        report.stage = 2;
        report.uuid = command.uuid();
        report.info = info;
        report.data = bytes;
        command.SendProgress(report);
      },
      [&command] { return command.Aborted(); });
}

bool ZEBModulePhoto::RegisterNamedOperation(const std::string& name, NamedOperation operation) {
  std::lock_guard<std::mutex> lock(mutex_);
  return named_operations_.emplace(name, std::move(operation)).second;
}

int ZEBModulePhoto::RunNamedOperation(ZEBCommand& command) {
  rapidjson::Document block;
  if (!ReadParameterBlock(command, &block)) return protocol::kResultBadArguments;
  std::string name = JsonText(block, "name");
  NamedOperation operation;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = named_operations_.find(name);
    if (it != named_operations_.end()) operation = it->second;
  }
  if (!operation) {
    LOG(ERROR) << "No photo operation named \"" << name << "\"";
    return 1;
  }
  return operation() ? kResultOk : 1;
}

void ZEBModulePhoto::RunPluginQuery(PhotoQuery query, BASObserveData* message) {
  message->result = 0;
  if (message->payload_kind != kBASPayloadText || message->payload == nullptr) return;
  PhotoRequest request;
  std::string text(static_cast<const char*>(message->payload), message->payload_length);
  if (!ParsePhotoRequest(text, &request)) return;
  auto document = std::make_unique<rapidjson::Document>();
  if (QueryPhotoDocument(Get().forms_, query, request, document.get()) != 0) return;
  message->payload_kind = kBASPayloadJson;
  message->payload = document.release();
  message->payload_length = 0;
  message->result = 1;
}

void ZEBModulePhoto::QueryCameraRollList(BASObserveData* message) { RunPluginQuery(PhotoQuery::kCameraRoll, message); }
void ZEBModulePhoto::QueryAlbumList(BASObserveData* message) { RunPluginQuery(PhotoQuery::kAlbumList, message); }
void ZEBModulePhoto::QueryPhotoFromAlbum(BASObserveData* message) {
  RunPluginQuery(PhotoQuery::kAlbumPhotos, message);
}
