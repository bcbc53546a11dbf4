#include "utility/backup/backup_request.h"

#include <cmath>
#include <string_view>

namespace {

struct KindName {
  std::string_view name;
  BackupRequestKind kind;
};

constexpr KindName kKinds[] = {
    {"DLMessageDownloadFiles", BackupRequestKind::kDownloadFiles},
    {"DLContentsOfDirectory", BackupRequestKind::kContentsOfDirectory},
    {"DLMessageGetFreeDiskSpace", BackupRequestKind::kGetFreeDiskSpace},
    {"DLMessageCreateDirectory", BackupRequestKind::kCreateDirectory},
    {"DLMessageMoveItems", BackupRequestKind::kMoveItems},
    {"DLMessageRemoveFiles", BackupRequestKind::kRemoveFiles},
    {"DLMessageDisconnect", BackupRequestKind::kDisconnect},
    {"DLMessageCopyItem", BackupRequestKind::kCopyItem},
    {"DLMessageRemoveItems", BackupRequestKind::kRemoveItems},
    {"DLMessageProcessMessage", BackupRequestKind::kProcessMessage},
    {"DLMessageUploadFiles", BackupRequestKind::kUploadFiles},
};

const PlistValue* Element(const BackupRequest& request, size_t index) {
  const PlistValue::Array& items = request.message.value.array();
  return index < items.size() ? &items[index] : nullptr;
}

}  // namespace

BackupRequest DecodeBackupRequest(DeviceLinkMessage message) {
  BackupRequest request;
  request.message = std::move(message);
  for (const KindName& entry : kKinds) {
    if (request.message.name == entry.name) request.kind = entry.kind;
  }
  for (const PlistValue& element : request.message.value.array()) {
    if (element.IsReal()) {
      request.progress = element.AsReal();
      break;
    }
  }
  if (request.kind == BackupRequestKind::kProcessMessage) {
    if (const PlistValue* dict = request.message.FirstDict()) {
      if (const PlistValue* code = dict->Find("ErrorCode")) {
        request.has_error_code = true;
        if (code->IsInteger()) request.error_code = code->AsInt64();
        if (code->IsReal() && std::isfinite(code->AsReal())) request.error_code = static_cast<int64_t>(code->AsReal());
      }
      request.error_description = dict->FindString("ErrorDescription").value_or("");
    }
  }
  return request;
}

std::vector<std::string> RequestPathList(const BackupRequest& request, size_t index) {
  std::vector<std::string> paths;
  const PlistValue* list = Element(request, index);
  if (list == nullptr || !list->IsArray()) return paths;
  for (const PlistValue& item : list->array()) {
    if (item.IsString()) paths.push_back(item.Bytes());
  }
  return paths;
}

std::string RequestString(const BackupRequest& request, size_t index) {
  const PlistValue* item = Element(request, index);
  return item != nullptr && item->IsString() ? item->Bytes() : std::string();
}

std::vector<std::pair<std::string, std::string>> RequestMoves(const BackupRequest& request) {
  std::vector<std::pair<std::string, std::string>> moves;
  const PlistValue* pairs = Element(request, 1);
  if (pairs == nullptr || !pairs->IsDict()) return moves;
  for (const auto& [source, target] : pairs->dict()) {
    if (target.IsString()) moves.emplace_back(source, target.Bytes());
  }
  return moves;
}

int ProgressStep(double percent) {
  if (!(percent > 0)) return 0;  // also NaN
  if (percent >= 100) return 10000;
  return static_cast<int>(percent * 100);
}
