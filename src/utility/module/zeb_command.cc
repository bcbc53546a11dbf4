#include "utility/module/zeb_command.h"

#include "libbasic/kx_task_schedular.h"
#include "utility/protocol_codes.h"

ZEBCommand::ZEBCommand(std::shared_ptr<const bas::IPCPacket> packet, bas::KxTaskPtr task, ZEBReportSink& sink)
    : owner_(std::move(packet)), packet_(*owner_), task_(std::move(task)), sink_(sink) {
  CommandPayload parts = SplitCommandPayload(packet_.payload);
  marker_ = parts.marker;
  json_text_ = parts.json;
  data_ = parts.rest;
  json_ok_ = ParseJsonObject(json_text_, &json_);
  if (!json_ok_) json_.SetObject();
  uuid_ = JsonText(json_, "uuid");
}

const rapidjson::Value* ZEBCommand::info() const {
  auto it = json_.FindMember("info");
  return it != json_.MemberEnd() && it->value.IsObject() ? &it->value : nullptr;
}

void ZEBCommand::set_uuid(std::string uuid) {
  uuid_ = std::move(uuid);
  if (!task_) return;
  if (auto meta = std::static_pointer_cast<TaskMetaData>(task_->GetTaskData())) meta->set_uuid(uuid_);
}

bool ZEBCommand::Aborted() const { return task_ && task_->GetStatus() == bas::KxTaskStatus::kAborted; }

int ZEBCommand::SendProgress(const TaskReport& report) const {
  return sink_.SendReportToHost(ProgressHeader(), report);
}

bas::IPCPacketHeader ZEBCommand::ProgressHeader() const {
  return bas::IPCPacketHeader{packet_.task_id, packet_.type, protocol::kHeaderProgress, 0};
}

void ZEBCommand::Continue(std::function<void()> release) {
  if (!task_) return;
  auto meta = std::static_pointer_cast<TaskMetaData>(task_->GetTaskData());
  if (meta && release) meta->set_release(std::move(release));
  task_->NotifySchedular(bas::KxTaskStatus::kContinuing);
}
