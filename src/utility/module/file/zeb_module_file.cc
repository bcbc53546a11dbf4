#include "utility/module/file/zeb_module_file.h"

#include <glog/logging.h>

#include "libbasic/kx_task_schedular.h"
#include "utility/module/command_payload.h"
#include "utility/module/file/file_internal.h"
#include "utility/start_params.h"
#include "utility/task_meta_data.h"

namespace file {

int64_t JsonInteger(const rapidjson::Value& object, const char* key, int64_t fallback) {
  if (!object.IsObject()) return fallback;
  auto member = object.FindMember(key);
  return member != object.MemberEnd() && member->value.IsInt64() ? member->value.GetInt64() : fallback;
}

}  // namespace file

int ZEBModuleFile::OnCommand(const bas::IPCPacket& packet) {
  if (packet.type < kTypeExport || packet.type > kTypeUpload) return 0;
  CommandPayload payload = SplitCommandPayload(packet.payload);
  bas::KxTaskPtr task = bas::KxTaskSchedular::Get().FindTask(std::to_string(packet.task_id));
  rapidjson::Document command;
  if (!ParseJsonObject(payload.json, &command)) return Finish(packet, task, "", file::kResultBadJson);
  std::string uuid = JsonText(command, "uuid");
  if (task && task->GetStatus() == bas::KxTaskStatus::kAborted) {
    // A packet that reached a stopped task while it was running. Its transfer, if it still has one, owes the
    // host its final answer; a later packet whose transfer has ended was answered already.
    bool starts = packet.type == kTypeExport || file::JsonInteger(command, "stage", 1) == 1;
    if (FindTransfer(task, &uuid) || starts) return Finish(packet, task, uuid, kResultAborted);
    return 0;
  }
  if (task && !uuid.empty()) {
    if (auto meta = std::static_pointer_cast<TaskMetaData>(task->GetTaskData())) meta->set_uuid(uuid);
  }
  if (packet.type == kTypeExport) return Export(packet, command, payload.rest, task);
  // The transfers live across packets, which only a task can carry.
  if (!task) return ReportResult(packet, uuid, file::kResultBadTransfer, "");
  if (packet.type == kTypeDownload) return Download(packet, command, task);
  return Upload(packet, command, payload.rest, task);
}

void ZEBModuleFile::Keep(const bas::KxTaskPtr& task, const std::string& uuid, uint32_t type,
                         std::shared_ptr<file::Transfer> transfer) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    transfers_[task->GetTaskId()] = TaskTransfer{task, uuid, type, std::move(transfer)};
  }
  task->SetEndFunc([this](const bas::KxTaskPtr& ended, bas::KxTaskEndReason reason) { OnTaskEnded(ended, reason); });
}

std::shared_ptr<file::Transfer> ZEBModuleFile::FindTransfer(const bas::KxTaskPtr& task, std::string* uuid) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = transfers_.find(task->GetTaskId());
  // A task id may come back as a new task after the old one ended; its transfer is not the new task's.
  if (it == transfers_.end() || it->second.task != task) return nullptr;
  if (uuid->empty()) *uuid = it->second.uuid;
  return it->second.transfer;
}

int ZEBModuleFile::Finish(const bas::IPCPacket& packet, const bas::KxTaskPtr& task, const std::string& uuid, int code,
                          const std::string& info) {
  std::string known_uuid = uuid;
  std::shared_ptr<file::Transfer> released;
  if (task) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = transfers_.find(task->GetTaskId());
    if (it != transfers_.end() && it->second.task == task) {
      if (known_uuid.empty()) known_uuid = it->second.uuid;
      released = std::move(it->second.transfer);
      transfers_.erase(it);
    }
  }
  // The device files are closed before the host hears that the transfer is over.
  if (released) released->Close();
  int sent = ReportResult(packet, known_uuid, code, info);
  // A transfer that failed or was stopped is over for good: late packets of it are dropped, not started anew.
  if (code != kResultOk && task && packet.type != kTypeExport) task->NotifySchedular(bas::KxTaskStatus::kAborted);
  return sent;
}

void ZEBModuleFile::OnTaskEnded(const bas::KxTaskPtr& task, bas::KxTaskEndReason reason) {
  TaskTransfer ended;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = transfers_.find(task->GetTaskId());
    if (it == transfers_.end() || it->second.task != task) return;
    ended = std::move(it->second);
    transfers_.erase(it);
  }
  ended.transfer->Close();
  LOG(INFO) << "Task " << task->GetTaskId()
            << (reason == bas::KxTaskEndReason::kExpired ? " waited too long for the host" : " was stopped")
            << "; its transfer is closed";
  bas::IPCPacket packet;
  packet.task_id = TaskIdNumber(task->GetTaskId());
  packet.type = ended.type;
  ReportResult(packet, ended.uuid, kResultAborted, "");
}
