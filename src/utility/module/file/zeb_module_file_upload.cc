// Command 703: a file received from the host block by block, resumable through its journal on the device.
#include <glog/logging.h>

#include "utility/ios/zeb_device_monitor.h"
#include "utility/module/command_payload.h"
#include "utility/module/file/file_internal.h"
#include "utility/module/file/zeb_module_file.h"
#include "utility/zeb_utility.h"

namespace {

// Keeps the journal, which is rewritten after every block, to about a megabyte.
constexpr int64_t kMaxUploadSize = int64_t{64} << 30;
constexpr const char* kBooksFolder = "/Books/";

const rapidjson::Value& InfoOf(const rapidjson::Document& command) {
  static const rapidjson::Value kEmpty(rapidjson::kObjectType);
  auto info = command.FindMember("info");
  return info != command.MemberEnd() && info->value.IsObject() ? info->value : kEmpty;
}

// Where the start packet says the file goes; false when it does not say enough.
bool ReadTarget(const rapidjson::Value& info, file::UploadTarget* target) {
  target->name = JsonText(info, "name");
  target->md5 = JsonText(info, "md5");
  target->size = file::JsonInteger(info, "size", -1);
  auto media = info.FindMember("media");
  bool is_media = media != info.MemberEnd() && media->value.IsBool() && media->value.GetBool();
  target->folder = JsonText(info, "dir");
  if (target->folder.empty() && !is_media) target->folder = kBooksFolder;
  if (target->folder.empty() || !IsSafeEntryName(target->name) || target->size < 0 || target->size > kMaxUploadSize) {
    return false;
  }
  if (target->folder.front() != '/') target->folder.insert(0, "/");
  if (target->folder.back() != '/') target->folder += '/';
  return true;
}

}  // namespace

int ZEBModuleFile::Upload(const bas::IPCPacket& packet, const rapidjson::Document& command, std::string_view data,
                          const bas::KxTaskPtr& task) {
  std::string uuid = JsonText(command, "uuid");
  const rapidjson::Value& info = InfoOf(command);
  if (file::JsonInteger(command, "stage", 1) == 1) return StartUpload(packet, uuid, info, task);

  std::shared_ptr<file::Transfer> transfer = FindTransfer(task, &uuid);
  auto* upload = dynamic_cast<file::UploadTransfer*>(transfer.get());
  if (upload == nullptr) return Finish(packet, task, uuid, file::kResultBadTransfer);
  if (file::JsonInteger(command, "code", 0) != 0) return Finish(packet, task, uuid, kResultAborted);
  int code = upload->WriteBlock(file::JsonInteger(info, "offset", -1), file::JsonInteger(info, "offset_length", -1),
                                data);
  if (code != kResultOk) return Finish(packet, task, uuid, code);
  return AskForBlock(packet, uuid, *upload, task);
}

int ZEBModuleFile::StartUpload(const bas::IPCPacket& packet, const std::string& uuid, const rapidjson::Value& info,
                               const bas::KxTaskPtr& task) {
  ZEBDeviceConnectionPtr connection = ZEBDeviceMonitor::Get().FindConnection(uuid);
  if (!connection) return Finish(packet, task, uuid, file::kResultNoDevice);
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(connection->device, kServiceAfc, &error, {}, true);
  if (!afc) return Finish(packet, task, uuid, file::kResultNoAfc);
  file::UploadTarget target;
  if (!ReadTarget(info, &target)) {
    LOG(ERROR) << "An upload start without a usable name, size or folder";
    return Finish(packet, task, uuid, file::kResultBadTransfer);
  }
  std::unique_ptr<file::UploadTransfer> opened;
  if (int code = file::UploadTransfer::Open(afc, target, &opened); code != kResultOk) {
    return Finish(packet, task, uuid, code);
  }
  LOG(INFO) << (opened->resumed() ? "Resuming the upload of " : "Starting the upload of ") << opened->final_path();
  std::shared_ptr<file::UploadTransfer> upload(std::move(opened));
  Keep(task, uuid, packet.type, upload);
  return AskForBlock(packet, uuid, *upload, task);
}

int ZEBModuleFile::AskForBlock(const bas::IPCPacket& packet, const std::string& uuid, file::UploadTransfer& upload,
                               const bas::KxTaskPtr& task) {
  if (const file::JournalBlock* next = upload.NextBlock()) {
    TaskReport report;
    report.stage = 2;
    report.uuid = uuid;
    report.info = "{\"offset\":" + std::to_string(next->offset) + ",\"offset_length\":" + std::to_string(next->length) +
                  "}";
    SendProgress(packet, report);
    task->NotifySchedular(bas::KxTaskStatus::kContinuing);
    return 0;
  }
  int code = upload.Complete();
  return Finish(packet, task, uuid, code, code == kResultOk ? "{\"path\":" + JsonQuote(upload.final_path()) + "}" : "");
}
