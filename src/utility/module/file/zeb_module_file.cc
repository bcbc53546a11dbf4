#include "utility/module/file/zeb_module_file.h"

#include <glog/logging.h>

#include "utility/module/file/file_internal.h"

namespace file {

int64_t JsonInteger(const rapidjson::Value& object, const char* key, int64_t fallback) {
  if (!object.IsObject()) return fallback;
  auto member = object.FindMember(key);
  return member != object.MemberEnd() && member->value.IsInt64() ? member->value.GetInt64() : fallback;
}

}  // namespace file

int ZEBModuleFile::OnCommand(ZEBCommand& command) {
  switch (command.type()) {
    case protocol::kTypeFileExport: return Export(command);
    case protocol::kTypeFileDownload: return Download(command);
    case protocol::kTypeFileUpload: return Upload(command);
    default: return ZEBCommand::kNoReport;
  }
}

void ZEBModuleFile::Keep(ZEBCommand& command, std::shared_ptr<file::Transfer> transfer) {
  const bas::KxTaskPtr& task = command.task();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    transfers_[task->GetTaskId()] = TaskTransfer{task, command.uuid(), std::move(transfer)};
  }
  command.Continue([this, weak = std::weak_ptr<bas::KxTask>(task)] {
    if (bas::KxTaskPtr ended = weak.lock()) Release(ended);
  });
}

std::shared_ptr<file::Transfer> ZEBModuleFile::FindTransfer(const bas::KxTaskPtr& task, std::string* uuid) {
  if (!task) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = transfers_.find(task->GetTaskId());
  // A task id may come back as a new task after the old one ended; its transfer is not the new task's.
  if (it == transfers_.end() || it->second.task != task) return nullptr;
  *uuid = it->second.uuid;
  return it->second.transfer;
}

void ZEBModuleFile::Release(const bas::KxTaskPtr& task) {
  std::shared_ptr<file::Transfer> released;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = transfers_.find(task->GetTaskId());
    if (it == transfers_.end() || it->second.task != task) return;
    released = std::move(it->second.transfer);
    transfers_.erase(it);
  }
  released->Close();
}
