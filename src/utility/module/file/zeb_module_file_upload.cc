// Command 703: a file received from the host block by block, resumable through its journal on the device.
#include <glog/logging.h>

#include "utility/command_payload.h"
#include "utility/module/file/file_internal.h"
#include "utility/module/file/zeb_module_file.h"
#include "utility/zeb_utility.h"

namespace {

// Keeps the journal, which is rewritten after every block, to about a megabyte.
constexpr int64_t kMaxUploadSize = int64_t{64} << 30;
constexpr const char* kBooksFolder = "/Books/";

const rapidjson::Value& InfoOf(const ZEBCommand& command) {
  static const rapidjson::Value kEmpty(rapidjson::kObjectType);
  const rapidjson::Value* info = command.info();
  return info != nullptr ? *info : kEmpty;
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

int ZEBModuleFile::Upload(ZEBCommand& command) {
  const rapidjson::Value& info = InfoOf(command);
  if (file::JsonInteger(command.json(), "stage", 1) == 1) return StartUpload(command, info);

  std::string uuid;
  std::shared_ptr<file::Transfer> transfer = FindTransfer(command.task(), &uuid);
  auto* upload = dynamic_cast<file::UploadTransfer*>(transfer.get());
  if (upload == nullptr) return protocol::kResultBadTransfer;
  // The host gives the transfer up; its journal stays for a later resume.
  if (file::JsonInteger(command.json(), "code", 0) != 0) return kResultAborted;
  // The host is asked for the next block as soon as this one is accepted, so that it sends while this one is
  // written; the task takes its next packet only after this run, so the blocks still land one after another.
  bool asked = false;
  int code = upload->WriteBlock(file::JsonInteger(info, "offset", -1), file::JsonInteger(info, "offset_length", -1),
                                command.data(), command.data_owner(), [&](const file::JournalBlock* next) {
                                  if (next == nullptr) return;
                                  AskForBlock(command, uuid, *next);
                                  asked = true;
                                });
  if (code != kResultOk) return code;
  return asked ? ZEBCommand::kContinue : Conclude(command, *upload);
}

int ZEBModuleFile::StartUpload(ZEBCommand& command, const rapidjson::Value& info) {
  if (!command.device()) return protocol::kResultNoDevice;
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(*command.device(), kServiceAfc, &error, {}, true);
  if (!afc) return protocol::kResultNoFileService;
  file::UploadTarget target;
  if (!ReadTarget(info, &target)) {
    LOG(ERROR) << "An upload start without a usable name, size or folder";
    return protocol::kResultBadTransfer;
  }
  std::unique_ptr<file::UploadTransfer> opened;
  if (int code = file::UploadTransfer::Open(command.device(), afc, target, &opened); code != kResultOk) return code;
  LOG(INFO) << (opened->resumed() ? "Resuming the upload of " : "Starting the upload of ") << opened->final_path();
  std::shared_ptr<file::UploadTransfer> upload(std::move(opened));
  Keep(command, upload);
  if (const file::JournalBlock* next = upload->NextBlock()) {
    AskForBlock(command, command.uuid(), *next);
    return ZEBCommand::kContinue;
  }
  return Conclude(command, *upload);
}

void ZEBModuleFile::AskForBlock(ZEBCommand& command, const std::string& uuid, const file::JournalBlock& next) {
  TaskReport report;
  report.stage = 2;
  report.uuid = uuid;
  report.info =
      "{\"offset\":" + std::to_string(next.offset) + ",\"offset_length\":" + std::to_string(next.length) + "}";
  command.SendProgress(report);
  command.Continue();
}

int ZEBModuleFile::Conclude(ZEBCommand& command, file::UploadTransfer& upload) {
  int code = upload.Complete();
  if (code == kResultOk) command.result_info = "{\"path\":" + JsonQuote(upload.final_path()) + "}";
  return code;
}
