#include "utility/module/zeb_module.h"

#include "utility/ios/zeb_client.h"

int ZEBModule::OnHook(const void* argument) { return callback_ != nullptr ? callback_(argument, user_, 0) : 0; }

int ZEBModule::OnCommand(const bas::IPCPacket& packet) {
  return callback_ != nullptr ? callback_(&packet, user_, 1) : 0;
}

int ZEBModule::OnHookB() { return 0; }

int ZEBModule::OnChildPacket(const bas::IPCPacket&) { return 0; }

uint16_t ZEBModule::HeaderCodeFor(int result) {
  if (result == kResultOk) return kHeaderSuccess;
  if (result == kResultAborted) return kHeaderAborted;
  return kHeaderFailure;
}

int ZEBModule::ReportResult(const bas::IPCPacket& packet, std::string_view uuid, int code, std::string_view info) {
  TaskReport report;
  report.code = code;
  report.uuid = uuid;
  report.info = info;
  return ZEBClient::Get().SendReportToHost(bas::IPCPacketHeader{packet.task_id, packet.type, HeaderCodeFor(code), 0},
                                           report);
}

int ZEBModule::SendProgress(const bas::IPCPacket& packet, const TaskReport& report) {
  return ZEBClient::Get().SendReportToHost(bas::IPCPacketHeader{packet.task_id, packet.type, kHeaderProgress, 0}, report);
}

void ZEBModule::SetNotificationCallback(NotificationCallback callback, void* user) {
  callback_ = callback;
  user_ = user;
}
