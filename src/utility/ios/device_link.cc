#include "utility/ios/device_link.h"

#include <chrono>
#include <cctype>
#include <optional>

#include "iOSAPI/plist_message.h"

namespace {

constexpr std::string_view kPing = "DLMessagePing";
constexpr std::string_view kDisconnect = "DLMessageDisconnect";
constexpr std::string_view kVersionExchange = "DLMessageVersionExchange";
constexpr std::string_view kProcessMessage = "DLMessageProcessMessage";

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

using Clock = std::chrono::steady_clock;

}  // namespace

bool DeviceLinkMessage::Names(std::string_view wanted) const {
  for (const PlistValue& element : value.array()) {
    if (element.IsString() && EqualIgnoringCase(element.Bytes(), wanted)) return true;
  }
  return false;
}

const PlistValue* DeviceLinkMessage::FirstDict() const {
  for (const PlistValue& element : value.array()) {
    if (element.IsDict()) return &element;
  }
  return nullptr;
}

bool ParseDeviceLinkMessage(std::string_view bytes, DeviceLinkMessage* message) {
  if (!ParseMessage(bytes.data(), bytes.size(), &message->value) || !message->value.IsArray() ||
      message->value.array().empty()) {
    return false;
  }
  const PlistValue& first = message->value.array().front();
  message->name = first.IsString() ? first.Bytes() : std::string();
  return true;
}

DeviceLink::DeviceLink(std::unique_ptr<DeviceLinkChannel> channel, unsigned timeout_ms)
    : channel_(std::move(channel)), timeout_ms_(timeout_ms) {}

DeviceLinkCode DeviceLink::Send(const PlistValue& message) {
  std::optional<std::string> bytes = SerializePlist(message, PlistFormat::kBinary);
  if (!bytes || !channel_->SendMessage(*bytes)) return DeviceLinkCode::kSendFailed;
  return DeviceLinkCode::kOk;
}

DeviceLinkCode DeviceLink::SendXml(std::string_view xml) {
  std::optional<std::string> bytes = MakeMessage(xml);
  if (!bytes || !channel_->SendMessage(*bytes)) return DeviceLinkCode::kSendFailed;
  return DeviceLinkCode::kOk;
}

DeviceLinkCode DeviceLink::Receive(DeviceLinkMessage* message) { return ReceiveWithin(timeout_ms_, message); }

DeviceLinkCode DeviceLink::ReceiveWithin(unsigned timeout_ms, DeviceLinkMessage* message) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string bytes;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return DeviceLinkCode::kTimedOut;
    switch (channel_->ReceiveMessage(&bytes, static_cast<unsigned>(left))) {
      case DeviceLinkChannel::Status::kTimedOut: return DeviceLinkCode::kTimedOut;
      case DeviceLinkChannel::Status::kClosed: return DeviceLinkCode::kClosed;
      case DeviceLinkChannel::Status::kMessage: break;
    }
    if (!ParseDeviceLinkMessage(bytes, message)) return DeviceLinkCode::kNotAMessage;
    if (!EqualIgnoringCase(message->name, kPing)) return DeviceLinkCode::kOk;
  }
}

DeviceLinkCode DeviceLink::ExchangeVersions(int64_t version, DeviceLinkVersion* offered, unsigned timeout_ms) {
  DeviceLinkMessage first;
  DeviceLinkCode code = ReceiveWithin(timeout_ms == 0 ? timeout_ms_ : timeout_ms, &first);
  if (code != DeviceLinkCode::kOk && code != DeviceLinkCode::kNotAMessage) return code;
  if (offered != nullptr) {
    *offered = DeviceLinkVersion();
    const PlistValue::Array& items = first.value.array();
    if (code == DeviceLinkCode::kOk && items.size() >= 3 && items[1].IsInteger() && items[2].IsInteger()) {
      *offered = {items[1].AsInt64(), items[2].AsInt64()};
    }
  }
  code = Send(PlistValue::MakeArray({PlistValue::String(std::string(kVersionExchange)),
                                     PlistValue::String("DLVersionsOk"), PlistValue::Integer(version)}));
  if (code != DeviceLinkCode::kOk) return code;
  return Await("DLMessageDeviceReady", Others::kSkip, nullptr, timeout_ms);
}

DeviceLinkCode DeviceLink::Await(std::string_view name, Others others, DeviceLinkMessage* message,
                                 unsigned timeout_ms) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms == 0 ? timeout_ms_ : timeout_ms);
  DeviceLinkMessage received;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return DeviceLinkCode::kTimedOut;
    DeviceLinkCode code = ReceiveWithin(static_cast<unsigned>(left), &received);
    if (code != DeviceLinkCode::kOk) return code;
    if (received.Names(name)) break;
    if (EqualIgnoringCase(received.name, kDisconnect)) return DeviceLinkCode::kDisconnected;
    if (others == Others::kFail) return DeviceLinkCode::kUnexpected;
  }
  if (message != nullptr) *message = std::move(received);
  return DeviceLinkCode::kOk;
}

DeviceLinkCode DeviceLink::AcceptOneReply(DeviceLinkMessage* reply) {
  DeviceLinkMessage received;
  DeviceLinkCode code = Receive(&received);
  if (code != DeviceLinkCode::kOk) return code;
  if (EqualIgnoringCase(received.name, kDisconnect)) return DeviceLinkCode::kDisconnected;
  if (reply != nullptr) *reply = std::move(received);
  return DeviceLinkCode::kOk;
}

DeviceLinkCode DeviceLink::ReceiveRecords(const RecordsHandler& handler) {
  for (;;) {
    DeviceLinkMessage received;
    DeviceLinkCode code = AcceptOneReply(&received);
    if (code != DeviceLinkCode::kOk) return code;
    if (!handler(received)) return DeviceLinkCode::kOk;
  }
}

DeviceLinkCode DeviceLink::Ping(std::string_view text) {
  return Send(PlistValue::MakeArray({PlistValue::String(std::string(kPing)), PlistValue::String(std::string(text))}));
}

DeviceLinkCode DeviceLink::SendProcessMessage(const PlistValue& content) {
  return Send(PlistValue::MakeArray({PlistValue::String(std::string(kProcessMessage)), content}));
}

DeviceLinkCode DeviceLink::ReceiveProcessMessage(PlistValue* content) {
  DeviceLinkMessage received;
  DeviceLinkCode code = Await(kProcessMessage, Others::kFail, &received);
  if (code != DeviceLinkCode::kOk) return code;
  const PlistValue* dict = received.FirstDict();
  if (dict == nullptr) return DeviceLinkCode::kNotAMessage;
  *content = *dict;
  return DeviceLinkCode::kOk;
}

DeviceLinkCode DeviceLink::Disconnect(std::string_view reason) {
  return Send(
      PlistValue::MakeArray({PlistValue::String(std::string(kDisconnect)), PlistValue::String(std::string(reason))}));
}

DeviceLinkCode DeviceLink::SendBytes(std::string_view bytes) {
  return channel_->SendBytes(bytes) ? DeviceLinkCode::kOk : DeviceLinkCode::kSendFailed;
}

DeviceLinkCode DeviceLink::ReceiveBytes(char* buffer, size_t length) {
  return channel_->ReceiveBytes(buffer, length) ? DeviceLinkCode::kOk : DeviceLinkCode::kClosed;
}
