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
  PlistPtr offer(plist_new_array());
  plist_array_append_item(offer.get(), plist_new_string("DLMessageVersionExchange"));
  plist_array_append_item(offer.get(), plist_new_uint(major));
  plist_array_append_item(offer.get(), plist_new_uint(minor));
  if (!Send(offer.get())) return false;
  PlistPtr answer;
  std::string name;
  if (Receive(&answer, &name) == LinkRead::kClosed) return false;
  if (name != "DLMessageVersionExchange" || LinkString(answer.get(), 1) != "DLVersionsOk") {
    SendDisconnect("Versions not accepted");
    return false;
  }
  PlistPtr ready(MakeLinkMessage({"DLMessageDeviceReady"}));
  return Send(ready.get());
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

bool DeviceLink::Send(plist_t message) { return SendEncoded(ToBinary(message)); }

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

bool DeviceLink::SendDisconnect(const std::string& reason) {
  PlistPtr message(MakeLinkMessage({"DLMessageDisconnect", reason.c_str()}));
  return Send(message.get());
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
