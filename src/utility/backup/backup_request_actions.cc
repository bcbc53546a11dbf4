#include "utility/backup/backup_request_actions.h"

#include <glog/logging.h>

#include "platform/platform.h"
#include "utility/backup/backup_folder_ops.h"
#include "utility/backup/download_sender.h"
#include "utility/backup/read_ahead_reader.h"
#include "utility/protocol_codes.h"

namespace {

constexpr char kEmpty[] = "___EmptyParameterString___";
constexpr char kDisconnectedText[] = "The connection to the device was lost during an upload.";

}  // namespace

RequestActions::RequestActions(DeviceLink& link, const BackupPathMap& paths, const UploadHooks& upload,
                               std::function<int64_t(const std::string&)> free_bytes)
    : link_(link), paths_(paths), receiver_(paths, upload), free_bytes_(std::move(free_bytes)) {}

bool RequestActions::Reply(int64_t code, const std::string& text, PlistValue value) {
  PlistValue reply = PlistValue::MakeArray({PlistValue::String("DLMessageStatusResponse"), PlistValue::Integer(code),
                                            PlistValue::String(text), std::move(value)});
  return link_.Send(reply) == DeviceLinkCode::kOk;
}

bool RequestActions::ReplyEmpty() { return Reply(0, kEmpty, PlistValue::MakeDict()); }

bool RequestActions::ReplyUnsupported() { return ReplyFailure("Operation not supported"); }

bool RequestActions::SendFiles(const std::vector<std::string>& names) {
  DownloadOutcome sent = SendRequestedFiles(
      [this](std::string_view bytes) { return link_.SendBytes(bytes) == DeviceLinkCode::kOk; }, paths_, names);
  if (!sent.sent) return false;
  if (sent.missing.empty()) return ReplyEmpty();
  PlistValue::Dict errors;
  for (const auto& [name, text] : sent.missing) {
    errors[name] = PlistValue::MakeDict(
        {{"DLFileErrorCode", PlistValue::Integer(-6)}, {"DLFileErrorString", PlistValue::String(text)}});
  }
  return Reply(-13, "Multi status", PlistValue::MakeDict(std::move(errors)));
}

bool RequestActions::MapAll(const std::vector<std::string>& device_paths, std::vector<std::string>* local,
                            BackupResult* failure) {
  for (const std::string& path : device_paths) {
    std::string mapped;
    if (!paths_.Map(path, &mapped)) {
      LOG(ERROR) << "Refused device path outside the backup folder: " << path.substr(0, 256);
      ReplyFailure("Operation not permitted");
      *failure = {protocol::kResultBackupRefusedPath, "The device named a path outside the backup folder."};
      return false;
    }
    local->push_back(std::move(mapped));
  }
  return true;
}

bool RequestActions::Upload(BackupResult* failure) {
  ReadAheadReader reader([this](char* buffer, size_t capacity) { return link_.ReceiveSomeBytes(buffer, capacity); },
                         [this](char* buffer, size_t length) {
                           return link_.ReceiveBytes(buffer, length) == DeviceLinkCode::kOk;
                         });
  UploadOutcome outcome = receiver_.Receive([&reader](char* buffer, size_t length) {
    return reader.Read(buffer, length);
  });
  // The device waits for the reply after its upload; bytes beyond it mean the stream is out of step.
  if (outcome.status == UploadStatus::kDone && reader.buffered() != 0) outcome.status = UploadStatus::kStreamFailed;
  switch (outcome.status) {
    case UploadStatus::kDone:
      return true;
    case UploadStatus::kCancelled:
      *failure = {protocol::kResultAborted, "Task cancelled."};
      return false;
    case UploadStatus::kStreamFailed:
      *failure = {protocol::kResultBackupDisconnected, kDisconnectedText};
      return false;
    case UploadStatus::kRefusedName:
      *failure = {protocol::kResultBackupRefusedPath, "The device named a path outside the backup folder."};
      return false;
    case UploadStatus::kWriteFailed:
      LOG(ERROR) << "Backup write failed: " << outcome.detail;
      *failure = {protocol::kResultIoFailed, outcome.detail};
      return false;
  }
  return false;
}

bool RequestActions::FreeSpace() {
  int64_t free = free_bytes_ ? free_bytes_(paths_.root()) : platform::FreeBytes(paths_.root());
  if (free < 0) return Reply(-1, "Could not determine the free disk space", PlistValue::Integer(0));
  return Reply(0, kEmpty, PlistValue::Integer(free));
}

bool RequestActions::Serve(const BackupRequest& request, BackupResult* failure) {
  auto sent = [failure](bool ok) {
    if (!ok) *failure = {protocol::kResultBackupTaskError, "Task error."};
    return ok;
  };
  std::vector<std::string> local;
  std::string error;
  switch (request.kind) {
    case BackupRequestKind::kDownloadFiles:
      return sent(SendFiles(RequestPathList(request)));
    case BackupRequestKind::kContentsOfDirectory:
      return sent(ReplyEmpty());
    case BackupRequestKind::kGetFreeDiskSpace:
      return sent(FreeSpace());
    case BackupRequestKind::kCreateDirectory:
      if (!MapAll({RequestString(request, 1)}, &local, failure)) return false;
      error = CreateFolderWithParents(local[0]);
      return sent(error.empty() ? Reply(0, kEmpty, PlistValue::String(kEmpty)) : ReplyFailure(error));
    case BackupRequestKind::kMoveItems:
      for (const auto& [source, target] : RequestMoves(request)) {
        local.clear();
        if (!MapAll({source, target}, &local, failure)) return false;
        std::string moved = MoveReplacing(local[0], local[1]);
        if (!moved.empty() && error.empty()) error = moved;
      }
      return sent(error.empty() ? ReplyEmpty() : ReplyFailure(error));
    case BackupRequestKind::kRemoveFiles:
    case BackupRequestKind::kRemoveItems:
      if (!MapAll(RequestPathList(request), &local, failure)) return false;
      for (const std::string& path : local) {
        std::string removed = RemoveItem(path);
        if (!removed.empty() && error.empty()) error = removed;
      }
      return sent(error.empty() ? ReplyEmpty() : ReplyFailure(error));
    case BackupRequestKind::kCopyItem:
      if (!MapAll({RequestString(request, 1), RequestString(request, 2)}, &local, failure)) return false;
      error = CopyReplacing(local[0], local[1]);
      return sent(error.empty() ? ReplyEmpty() : ReplyFailure(error));
    case BackupRequestKind::kUploadFiles:
      return Upload(failure) && sent(ReplyEmpty());
    default:
      LOG(WARNING) << "Unsupported backup request: " << request.message.name.substr(0, 64);
      return sent(ReplyUnsupported());
  }
}
