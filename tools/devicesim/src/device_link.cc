#include "device_link.h"

namespace devicesim {

std::string DeviceLinkMessageName(plist_t message) {
  if (!message || plist_get_node_type(message) != PLIST_ARRAY || plist_array_get_size(message) == 0) return "";
  plist_t name = plist_array_get_item(message, 0);
  if (plist_get_node_type(name) != PLIST_STRING) return "";
  uint64_t length = 0;
  const char* text = plist_get_string_ptr(name, &length);
  return std::string(text ? text : "", text ? length : 0);
}

bool DeviceLink::Send(const Value& message) {
  PlistPtr node(ToPlist(message));
  return WritePlistMessage(stream_, LengthOrder::kBigEndian, node.get(), PlistFormat::kBinary);
}

bool DeviceLink::SendProcessMessage(const Value& body) {
  return Send(Value::Array({"DLMessageProcessMessage", body}));
}

PlistPtr DeviceLink::Receive() {
  PlistPtr message = ReadPlistMessage(stream_, LengthOrder::kBigEndian);
  if (DeviceLinkMessageName(message.get()).empty()) return nullptr;
  return message;
}

bool DeviceLink::ExchangeVersions(uint64_t major, uint64_t minor) {
  if (!Send(Value::Array({"DLMessageVersionExchange", major, minor}))) return false;
  PlistPtr answer = Receive();
  if (DeviceLinkMessageName(answer.get()) != "DLMessageVersionExchange" ||
      plist_array_get_size(answer.get()) < 2) {
    return false;
  }
  plist_t verdict = plist_array_get_item(answer.get(), 1);
  if (plist_get_node_type(verdict) != PLIST_STRING) return false;
  uint64_t length = 0;
  const char* text = plist_get_string_ptr(verdict, &length);
  if (std::string(text ? text : "", text ? length : 0) != "DLVersionsOk") return false;
  return Send(Value::Array({"DLMessageDeviceReady"}));
}

bool DeviceLink::ReceiveStatus(DeviceLinkStatus* status) {
  PlistPtr answer = Receive();
  if (DeviceLinkMessageName(answer.get()) != "DLMessageStatusResponse") return false;
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
  if (size > 2) {
    Value text = FromPlist(plist_array_get_item(answer.get(), 2));
    if (text.type() == Value::Type::kString) status->text = text.text();
  }
  if (size > 3) status->value.reset(plist_copy(plist_array_get_item(answer.get(), 3)));
  return true;
}

}  // namespace devicesim
