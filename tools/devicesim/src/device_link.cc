#include "device_link.h"

#include <vector>

#include "plist_channel.h"

namespace devicesim {

plist_t MakeLinkMessage(std::initializer_list<const char*> strings) {
  plist_t array = plist_new_array();
  for (const char* text : strings) plist_array_append_item(array, plist_new_string(text));
  return array;
}

std::string LinkString(plist_t message, uint32_t index) {
  if (!message || plist_get_node_type(message) != PLIST_ARRAY || index >= plist_array_get_size(message)) return "";
  plist_t item = plist_array_get_item(message, index);
  if (plist_get_node_type(item) != PLIST_STRING) return "";
  uint64_t length = 0;
  const char* text = plist_get_string_ptr(item, &length);
  return std::string(text ? text : "", text ? length : 0);
}

bool DeviceLink::ExchangeVersions(uint64_t major, uint64_t minor) {
  if (!Send(Value::Array({"DLMessageVersionExchange", major, minor}))) return false;
  PlistPtr answer;
  std::string name;
  if (Receive(&answer, &name) == LinkRead::kClosed) return false;
  if (name != "DLMessageVersionExchange" || LinkString(answer.get(), 1) != "DLVersionsOk") {
    SendDisconnect("Versions not accepted");
    return false;
  }
  return Send(Value::Array({"DLMessageDeviceReady"}));
}

LinkRead DeviceLink::Receive(PlistPtr* message, std::string* name) {
  message->reset();
  name->clear();
  if (cut_) return LinkRead::kClosed;
  unsigned char prefix[4];
  if (!stream_.ReadExact(prefix, sizeof(prefix))) return LinkRead::kClosed;
  uint32_t length = DecodeLength(prefix, LengthOrder::kBigEndian);
  if (length == 0 || length > kMaxPlistMessage) return LinkRead::kClosed;
  std::vector<char> body(length);
  if (!stream_.ReadExact(body.data(), body.size())) return LinkRead::kClosed;
  *message = ParsePlist(body.data(), body.size());
  if (!*message || plist_get_node_type(message->get()) != PLIST_ARRAY ||
      plist_array_get_size(message->get()) == 0 ||
      plist_get_node_type(plist_array_get_item(message->get(), 0)) != PLIST_STRING) {
    return LinkRead::kMalformed;
  }
  *name = LinkString(message->get(), 0);
  return LinkRead::kMessage;
}

bool DeviceLink::ReceiveStatus(DeviceLinkStatus* status) {
  PlistPtr answer;
  std::string name;
  if (Receive(&answer, &name) != LinkRead::kMessage || name != "DLMessageStatusResponse") return false;
  uint32_t size = plist_array_get_size(answer.get());
  status->code = 0;
  status->text.clear();
  status->value.reset();
  if (size > 1) {
    plist_t code = plist_array_get_item(answer.get(), 1);
    uint64_t bits = 0;
    // libplist keeps a negative integer as its two's-complement bits.
    if (plist_get_node_type(code) == PLIST_UINT) plist_get_uint_val(code, &bits);
    status->code = static_cast<int64_t>(bits);
  }
  status->text = LinkString(answer.get(), 2);
  if (size > 3) status->value.reset(plist_copy(plist_array_get_item(answer.get(), 3)));
  return true;
}

bool DeviceLink::Send(plist_t message) { return SendEncoded(ToBinary(message)); }

bool DeviceLink::Send(const Value& message) {
  PlistPtr node(ToPlist(message));
  return Send(node.get());
}

bool DeviceLink::SendEncoded(const std::string& body) {
  if (cut_) return false;
  std::string prefix = EncodeLength(static_cast<uint32_t>(body.size()), LengthOrder::kBigEndian);
  if (!stream_.WriteParts(prefix.data(), prefix.size(), body.data(), body.size())) return false;
  if (++sent_ >= cut_at_) {
    cut_ = true;
    if (cut_how_ == LinkCut::kStall) stream_.DrainUntilClosed();
  }
  return true;
}

bool DeviceLink::SendProcessMessage(const Value& body) {
  return Send(Value::Array({"DLMessageProcessMessage", body}));
}

bool DeviceLink::SendDisconnect(const std::string& reason) {
  return Send(Value::Array({"DLMessageDisconnect", reason}));
}

void DeviceLink::CutAfter(uint64_t count, LinkCut how) {
  cut_at_ = sent_ + count;
  cut_how_ = how;
  if (count == 0) {
    cut_ = true;
    if (how == LinkCut::kStall) stream_.DrainUntilClosed();
  }
}

}  // namespace devicesim
