#include "utility/module/front_door.h"

#include <glog/logging.h>

#include <memory>

#include "libbasic/kx_task_schedular.h"
#include "utility/ios/zeb_device_monitor.h"
#include "utility/module/zeb_command.h"
#include "utility/module/zeb_module.h"
#include "utility/protocol_codes.h"
#include "utility/start_params.h"

namespace front_door {
namespace {

std::shared_ptr<TaskMetaData> MetaOf(const bas::KxTaskPtr& task) {
  return task ? std::static_pointer_cast<TaskMetaData>(task->GetTaskData()) : nullptr;
}

// By "uuid" first; a device whose identity was never read is still found by its number in "code".
ZEBDeviceConnectionPtr FindDevice(const ZEBCommand& command, DeviceRule rule) {
  ZEBDeviceMonitor& monitor = ZEBDeviceMonitor::Get();
  if (!command.uuid().empty()) {
    if (ZEBDeviceConnectionPtr connection = monitor.FindConnection(command.uuid())) return connection;
  }
  if (rule != DeviceRule::kRequiredByUuidOrNumber) return nullptr;
  auto code = command.json().FindMember("code");
  if (code != command.json().MemberEnd() && code->value.IsUint()) {
    return monitor.FindConnectionByNumber(code->value.GetUint());
  }
  return nullptr;
}

// Sends the task's one final report, after releasing what its command kept between packets. A second attempt
// (the end of a stopped task racing the run that noticed the stop) sends nothing.
void Finish(const bas::KxTaskPtr& task, uint64_t task_id, uint32_t type, const std::string& uuid, int code,
            const std::string& info, ZEBReportSink& sink, bool give_up_on_failure) {
  std::shared_ptr<TaskMetaData> meta = MetaOf(task);
  if (meta && !meta->ClaimFinalReport()) return;
  if (meta) {
    if (std::function<void()> release = meta->TakeRelease()) release();
  }
  std::string known_uuid = uuid.empty() && meta ? meta->uuid() : uuid;
  SendFinalReport(sink, task_id, type, known_uuid, code, info);
  if (task && give_up_on_failure && code != protocol::kResultOk) task->NotifySchedular(bas::KxTaskStatus::kAborted);
}

void Conclude(const ZEBCommand& command, int code, const CommandPolicy& policy) {
  if (code == ZEBCommand::kNoReport || code == ZEBCommand::kContinue) return;
  Finish(command.task(), command.packet().task_id, command.type(), command.uuid(), code, command.result_info,
         command.sink(), policy.give_up_on_failure || command.give_up());
}

}  // namespace

uint16_t HeaderCodeFor(int result) {
  if (result == protocol::kResultOk) return protocol::kHeaderSuccess;
  if (result == protocol::kResultAborted) return protocol::kHeaderAborted;
  return protocol::kHeaderFailure;
}

int SendFinalReport(ZEBReportSink& sink, uint64_t task_id, uint32_t type, const std::string& uuid, int code,
                    const std::string& info) {
  TaskReport report;
  report.code = code;
  report.uuid = uuid;
  report.info = info;
  return sink.SendReportToHost(bas::IPCPacketHeader{task_id, type, HeaderCodeFor(code), 0}, report);
}

void Dispatch(const CommandEntry& entry, const std::shared_ptr<const bas::IPCPacket>& shared_packet,
              const bas::KxTaskPtr& task, ZEBReportSink& sink) {
  const CommandPolicy& policy = entry.policy;
  const bas::IPCPacket& packet = *shared_packet;
  ZEBCommand command(shared_packet, task, sink);
  std::shared_ptr<TaskMetaData> meta = MetaOf(task);
  if (meta && meta->final_reported() && !command.Aborted()) meta->StartAfterFinalReport();
  // A packet that reaches a stopped task: a command that has not answered yet still owes the host its end.
  if (command.Aborted()) return Conclude(command, protocol::kResultAborted, policy);
  if (policy.marker == MarkerRule::kOneElseSuccess && command.marker() != 1) {
    return Finish(task, packet.task_id, packet.type, "", protocol::kResultOk, "", sink, false);
  }
  if (!command.json_ok()) {
    return Finish(task, packet.task_id, packet.type, "", policy.bad_json_code, "", sink, policy.give_up_on_failure);
  }
  if (policy.marker == MarkerRule::kOneElseSilent && command.marker() != 1) return;
  if (policy.device != DeviceRule::kNone) {
    if (!command.uuid().empty()) command.set_uuid(command.uuid());
    command.set_device(FindDevice(command, policy.device));
    if (!command.device() && policy.device != DeviceRule::kOptional) {
      return Finish(task, packet.task_id, packet.type, command.uuid(), policy.no_device_code, "", sink, false);
    }
  }
  Conclude(command, entry.module->OnCommand(command), policy);
}

void OnTaskEnded(const bas::KxTaskPtr& task, ZEBReportSink& sink) {
  std::shared_ptr<TaskMetaData> meta = MetaOf(task);
  if (!meta || meta->final_reported()) return;
  LOG(INFO) << "Task " << task->GetTaskId() << " ended while it waited for its next packet";
  Finish(task, TaskIdNumber(task->GetTaskId()), meta->packet_type, "", protocol::kResultAborted, "", sink, false);
}

void Resume(const bas::KxTaskPtr& task, ZEBReportSink& sink, ResumeStep step) {
  task->NotifySchedular(bas::KxTaskStatus::kContinuing);
  bas::KxTaskSchedular::Get().PostToTask(task->GetTaskId(), [&sink, step = std::move(step)](const bas::KxTaskPtr& t) {
    std::shared_ptr<TaskMetaData> meta = MetaOf(t);
    if (!meta || meta->final_reported()) return;
    std::string info;
    int code = t->GetStatus() == bas::KxTaskStatus::kAborted ? protocol::kResultAborted : step(&info);
    if (code == ZEBCommand::kNoReport) return;
    if (code == ZEBCommand::kContinue) {
      t->NotifySchedular(bas::KxTaskStatus::kContinuing);
      return;
    }
    Finish(t, TaskIdNumber(t->GetTaskId()), meta->packet_type, "", code, info, sink, code != protocol::kResultOk);
  });
}

}  // namespace front_door
