#include "backup_computer.h"

namespace devicesim {
namespace {

constexpr size_t kMovesPerRequest = 128;
constexpr char kEmpty[] = "___EmptyParameterString___";

}  // namespace

bool BackupComputer::Request(Value message) {
  return link_.Send(message) && link_.ReceiveStatus(&status_);
}

bool BackupComputer::Download(const std::vector<std::string>& paths, DownloadSink& sink,
                              std::map<std::string, std::string>* missing) {
  Value list = Value::Array();
  for (const std::string& path : paths) list.Append(path);
  if (!link_.Send(Value::Array({"DLMessageDownloadFiles", list, Value::Dict(), progress_}))) return false;
  return ReceiveDownloads(link_.stream(), sink, missing) && link_.ReceiveStatus(&status_);
}

bool BackupComputer::DownloadOne(const std::string& path, std::optional<std::string>* content) {
  MemoryDownloads sink(256u << 20);
  std::map<std::string, std::string> missing;
  if (!Download({path}, sink, &missing)) return false;
  auto it = sink.files().find(path);
  if (it == sink.files().end()) {
    content->reset();
  } else {
    *content = it->second;
  }
  return true;
}

bool BackupComputer::FreeSpace(uint64_t* bytes) {
  if (!Request(Value::Array({"DLMessageGetFreeDiskSpace"}))) return false;
  Value value = FromPlist(status_.value.get());
  *bytes = value.type() == Value::Type::kInteger ? static_cast<uint64_t>(value.integer()) : 0;
  return true;
}

bool BackupComputer::CreateDirectory(const std::string& path) {
  return Request(Value::Array({"DLMessageCreateDirectory", path, Value::Dict(), progress_}));
}

bool BackupComputer::Move(const std::vector<std::pair<std::string, std::string>>& moves) {
  for (size_t start = 0; start < moves.size(); start += kMovesPerRequest) {
    Value pairs = Value::Dict();
    for (size_t i = start; i < std::min(moves.size(), start + kMovesPerRequest); ++i) {
      pairs.Set(moves[i].first, moves[i].second);
    }
    if (!Request(Value::Array({"DLMessageMoveItems", pairs, Value::Dict(), progress_}))) return false;
  }
  return true;
}

bool BackupComputer::Remove(const std::vector<std::string>& paths) {
  if (paths.empty()) return true;
  Value list = Value::Array();
  for (const std::string& path : paths) list.Append(path);
  return Request(Value::Array({"DLMessageRemoveItems", list, Value::Dict(), progress_}));
}

bool BackupComputer::BeginUpload(uint64_t batch_bytes) {
  // The client of libimobiledevice 1.3.0 ignores an upload request of fewer than four elements.
  Value callbacks = Value::Dict();
  callbacks.Set("DLDeviceIOCallbacks", 0);
  return link_.Send(Value::Array({"DLMessageUploadFiles", callbacks, progress_, batch_bytes}));
}

bool BackupComputer::EndUpload() { return SendEndOfFiles(link_.stream()) && link_.ReceiveStatus(&status_); }

bool BackupComputer::Finish(int64_t error_code, const std::string& description, Value extra) {
  Value body = Value::Dict();
  body.Set("MessageName", "Response");
  body.Set("ErrorCode", error_code);
  if (!description.empty()) body.Set("ErrorDescription", description);
  for (const auto& [key, value] : extra.members()) body.Set(key, value);
  if (!link_.SendProcessMessage(body)) return false;
  if (error_code != 0) return true;
  // Some computers acknowledge the response and wait for the device to say goodbye.
  DeviceLinkStatus ignored;
  if (link_.ReceiveStatus(&ignored)) link_.SendDisconnect(kEmpty);
  return true;
}

}  // namespace devicesim
