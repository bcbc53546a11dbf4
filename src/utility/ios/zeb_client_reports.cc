// The reports the client builds itself: sending, device events, device notices and the start-up reports.
#include <glog/logging.h>

#include "platform/platform.h"
#include "utility/ios/zeb_client.h"
#include "utility/process_context.h"
#include "utility/start_params.h"
#include "utility/zeb_utility.h"

namespace {

// Packet types of the events the client sends by itself.
constexpr uint32_t kTypeDeviceConnected = 1;
constexpr uint32_t kTypeDeviceDisconnected = 8;
constexpr uint32_t kTypeMonitorStart = 9;
constexpr uint32_t kTypeConnectError = 12;
constexpr uint32_t kTypeStart = 19;
constexpr uint16_t kCodeNotice = 1;
constexpr uint16_t kCodeEvent = 2;
constexpr uint16_t kCodeStartFailed = 6;

}  // namespace

int ZEBClient::SendReportToHost(const bas::IPCPacketHeader& header, const TaskReport& report) {
  std::string text = BuildReportText(report);
  std::string storage;
  std::string_view data = BuildReportData(report, &storage);
  std::lock_guard<std::mutex> lock(mutex_);
  bool any = false;
  for (const bas::IPCConnectionPtr& connection : host_channel_.Connections()) {
    if (connection->side != bas::IPCConnection::kConnected) continue;
    any = true;
    host_channel_.Send(connection, header, text, data);
  }
  return any ? 0 : 1;
}

int ZEBClient::SendPacketsToHost(std::string_view packets) {
  std::lock_guard<std::mutex> lock(mutex_);
  bool any = false;
  for (const bas::IPCConnectionPtr& connection : host_channel_.Connections()) {
    if (connection->side != bas::IPCConnection::kConnected) continue;
    any = true;
    host_channel_.SendEncoded(connection, packets);
  }
  return any ? 0 : 1;
}

bool ZEBClient::SendReportOnSocket(int socket, const bas::IPCPacketHeader& header, const TaskReport& report) {
  bas::IPCConnectionPtr connection = host_channel_.FindBySocket(socket);
  if (!connection) return false;
  std::string text = BuildReportText(report);
  std::string storage;
  std::string_view data = BuildReportData(report, &storage);
  return host_channel_.Send(connection, header, text, data);
}

void ZEBClient::SendMonitorStartReport(int result) {
  TaskReport report;
  report.info = "{\"error_code\":" + std::to_string(result) + "}";
  SendReportToHost(bas::IPCPacketHeader{0, kTypeMonitorStart, kCodeNotice, 0}, report);
}

void ZEBClient::SendStartReport(bool connected, const std::string& task_id) {
  TaskReport report;
  report.info = "{\"pid\":" + std::to_string(platform::CurrentProcessId()) + ",\"task_id\":" + JsonQuote(task_id) + "}";
  uint16_t code = connected ? kCodeNotice : kCodeStartFailed;
  SendReportToHost(bas::IPCPacketHeader{TaskIdNumber(task_id), kTypeStart, code, 0}, report);
}

void ZEBClient::OnDeviceEvent(const ZEBDeviceConnectionPtr& connection, int event) {
  if (event != kDeviceReady && event != kDeviceDetached) return;
  ZEBDeviceIdentity identity = connection->Identity();
  const StartParams& params = ProcessContext::Get().params();
  int64_t pid = platform::CurrentProcessId();
  TaskReport report;
  report.code = connection->number;
  report.uuid = identity.uniqueDeviceID;
  if (event == kDeviceReady) {
    // Written by hand: the host expects exactly these keys, in this order, without spaces.
    report.info = "{\"Model\":" + JsonQuote(identity.model) + ",\"FirmVersion\":" + JsonQuote(identity.productVersion) +
                  ",\"Type\":" + JsonQuote(identity.deviceClass) +
                  ",\"Data_FreeSize\":" + std::to_string(identity.freeBytes) +
                  ",\"Data_PhysicalSize\":" + std::to_string(identity.totalBytes) + ",\"Pid\":" + std::to_string(pid) +
                  ",\"StartType\":" + std::to_string(params.helper_type) +
                  ",\"SerialNumber\":" + JsonQuote(identity.serialNumber) + "}";
    LOG(INFO) << "Connected: " << identity.uniqueDeviceID;
    SendReportToHost(bas::IPCPacketHeader{0, kTypeDeviceConnected, kCodeEvent, 0}, report);
  } else {
    report.stage = params.helper_type;
    report.info = "{\"PID\":" + std::to_string(pid) + "}";
    LOG(INFO) << "Disconnected: " << identity.uniqueDeviceID;
    SendReportToHost(bas::IPCPacketHeader{0, kTypeDeviceDisconnected, kCodeEvent, 0}, report);
  }
}

bool ZEBClient::NoticesSuppressed() const {
  return ProcessContext::Get().IsQuitting() || ProcessContext::Get().params().helper_type == 1;
}

void ZEBClient::OnDeviceNotice(uint32_t device_number, int code) {
  if (NoticesSuppressed()) return;
  TaskReport report;
  report.code = device_number;
  SendReportToHost(bas::IPCPacketHeader{0, static_cast<uint32_t>(code), kCodeNotice, 0}, report);
}

void ZEBClient::OnConnectError(const ZEBDeviceConnectionPtr& connection, int code) {
  if (NoticesSuppressed()) return;
  ZEBDeviceIdentity identity = connection->Identity();
  TaskReport report;
  report.code = connection->number;
  report.uuid = identity.uniqueDeviceID;
  report.info = "{\"device_name\":" + JsonQuote(identity.deviceName) + ",\"error_code\":" + std::to_string(code) + "}";
  SendReportToHost(bas::IPCPacketHeader{0, kTypeConnectError, kCodeNotice, 0}, report);
}
