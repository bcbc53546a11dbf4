#include "utility/sync/sync_session.h"

#include <glog/logging.h>

#include <chrono>
#include <ctime>
#include <map>

#include "utility/ios/zeb_device_service.h"
#include "utility/protocol_codes.h"
#include "utility/sync/sync_messages.h"

namespace {

constexpr char kSyncService[] = "com.apple.mobilesync";
constexpr int64_t kLinkVersion = 100;

const char* CodeText(DeviceLinkCode code) {
  switch (code) {
    case DeviceLinkCode::kOk:
      return "ok";
    case DeviceLinkCode::kSendFailed:
      return "the message could not be sent";
    case DeviceLinkCode::kClosed:
      return "the connection broke";
    case DeviceLinkCode::kTimedOut:
      return "the device did not answer in time";
    case DeviceLinkCode::kNotAMessage:
      return "the device sent something that is no message";
    case DeviceLinkCode::kUnexpected:
      return "the device sent another message";
    case DeviceLinkCode::kDisconnected:
      return "the device disconnected";
  }
  return "unknown";
}

// The texts of a refusal or cancel after its name and data class, for the log.
std::string Reason(const DeviceLinkMessage& message) {
  std::string reason;
  const PlistValue::Array& items = message.value.array();
  for (size_t i = 2; i < items.size(); ++i) {
    if (items[i].IsString()) reason += (reason.empty() ? "" : "; ") + items[i].Bytes();
  }
  return reason;
}

}  // namespace

SyncSession::SyncSession(const SyncDataClass& data_class, std::unique_ptr<DeviceLinkChannel> channel, Stopped stopped)
    : data_class_(data_class), link_(std::move(channel), kStopCheckMs), stopped_(std::move(stopped)) {}

std::unique_ptr<SyncSession> SyncSession::Start(const ZEBDeviceConnection& device, const SyncDataClass& data_class,
                                                Stopped stopped, int* result) {
  int error = 0;
  ZEBDeviceServicePtr service = StartService(device, kSyncService, &error);
  if (!service) {
    LOG(ERROR) << "Sync " << data_class.name << ": the service cannot be started (" << error << ")";
    *result = protocol::kResultSyncFailed;
    return nullptr;
  }
  auto session = std::make_unique<SyncSession>(data_class, MakeServiceChannel(std::move(service)), std::move(stopped));
  *result = session->Open();
  if (*result != protocol::kResultOk) return nullptr;
  return session;
}

DeviceLinkCode SyncSession::NextMessage(DeviceLinkMessage* message) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMessageTimeoutMs);
  for (;;) {
    // The link waits in short slices, so a stop request is seen while the device is slow or silent.
    DeviceLinkCode code = link_.AcceptOneReply(message);
    if (code != DeviceLinkCode::kTimedOut) return code;
    if (stopped_ && stopped_()) {
      stopped_by_host_ = true;
      return code;
    }
    if (std::chrono::steady_clock::now() >= deadline) return code;
  }
}

int SyncSession::Fail(std::string_view step, DeviceLinkCode code) {
  broken_ = true;
  if (stopped_by_host_) return protocol::kResultAborted;
  LOG(ERROR) << "Sync " << data_class_.name << ", " << step << ": " << CodeText(code);
  return protocol::kResultSyncFailed;
}

int SyncSession::Fail(std::string_view step, const DeviceLinkMessage& message) {
  broken_ = true;
  LOG(ERROR) << "Sync " << data_class_.name << ", " << step << ": the device answered " << message.name << " "
             << Reason(message);
  return protocol::kResultSyncFailed;
}

int SyncSession::Open() {
  if (broken_) return protocol::kResultSyncFailed;
  DeviceLinkCode code = link_.ExchangeVersions(kLinkVersion, nullptr, kOpeningTimeoutMs);
  if (code != DeviceLinkCode::kOk) return Fail("version exchange", code);
  code = link_.SendXml(SyncRequestMessage(data_class_.name, data_class_.anchor_name,
                                          ComputerAnchorText(std::time(nullptr)), data_class_.version));
  if (code != DeviceLinkCode::kOk) return Fail("sync request", code);
  DeviceLinkMessage answer;
  code = NextMessage(&answer);
  if (code != DeviceLinkCode::kOk) return Fail("sync request", code);
  // A refusal or a cancel ends the session here; only an accepted class goes on.
  if (!answer.Names("SDMessageSyncDataClassWithComputer")) return Fail("sync request", answer);
  return protocol::kResultOk;
}

int SyncSession::AcknowledgeUntilReady(std::string_view request, const Batch& batch) {
  if (broken_) return protocol::kResultSyncFailed;
  DeviceLinkCode code = link_.SendXml(ClassMessage(request, data_class_.name));
  if (code != DeviceLinkCode::kOk) return Fail(request, code);
  for (;;) {
    DeviceLinkMessage message;
    code = NextMessage(&message);
    if (code != DeviceLinkCode::kOk) return Fail(request, code);
    if (message.Names("SDMessageDeviceReadyToReceiveChanges")) return protocol::kResultOk;
    if (!message.Names("SDMessageProcessChanges")) return Fail(request, message);
    if (batch) batch(message);
    if (stopped_ && stopped_()) {
      broken_ = true;
      return protocol::kResultAborted;
    }
    code = link_.SendXml(ClassMessage("SDMessageAcknowledgeChangesFromDevice", data_class_.name));
    if (code != DeviceLinkCode::kOk) return Fail("acknowledge", code);
  }
}

int SyncSession::ReadAll(const Batch& batch) {
  return AcknowledgeUntilReady("SDMessageGetAllRecordsFromDevice", batch);
}

int SyncSession::DrainChanges(const Batch& batch) {
  int result = AcknowledgeUntilReady("SDMessageGetChangesFromDevice", batch);
  if (result != protocol::kResultOk) return result;
  DeviceLinkCode code = link_.Ping(data_class_.ping_text);
  if (code != DeviceLinkCode::kOk) return Fail("ping", code);
  return protocol::kResultOk;
}

int SyncSession::SendChanges(std::string_view xml, DeviceLinkMessage* reply) {
  if (broken_) return protocol::kResultSyncFailed;
  DeviceLinkCode code = link_.SendXml(xml);
  if (code != DeviceLinkCode::kOk) return Fail("changes", code);
  code = NextMessage(reply);
  if (code != DeviceLinkCode::kOk) return Fail("changes", code);
  if (!reply->Names("SDMessageRemapRecordIdentifiers")) return Fail("changes", *reply);
  return protocol::kResultOk;
}

int SyncSession::Finish() {
  if (broken_) return protocol::kResultSyncFailed;
  DeviceLinkCode code = link_.SendXml(ClassMessage("SDMessageFinishSessionOnDevice", data_class_.name));
  if (code != DeviceLinkCode::kOk) return Fail("finish", code);
  DeviceLinkMessage answer;
  code = NextMessage(&answer);
  if (code != DeviceLinkCode::kOk) return Fail("finish", code);
  if (!answer.Names("SDMessageDeviceFinishedSession")) return Fail("finish", answer);
  return protocol::kResultOk;
}

std::map<std::string, std::string> RemappedIdentifiers(const DeviceLinkMessage& reply) {
  std::map<std::string, std::string> ids;
  for (const PlistValue& element : reply.value.array()) {
    if (!element.IsDict()) continue;
    for (const auto& [computer_id, device_id] : element.dict()) {
      if (device_id.IsString()) ids.emplace(computer_id, device_id.Bytes());
    }
  }
  return ids;
}
