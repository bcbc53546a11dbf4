// The device's end of the device-link layer that the synchronisation and backup services share: property-list
// messages behind a 4-byte big-endian length, each an array whose first element names the message
// ("DLMessage..." for the link itself, "SD..." or a process message's body for the service), the version
// exchange that opens every connection, the computer's DLMessageStatusResponse to a device request, and an
// optional fault that cuts or stalls the link after a number of sent messages.
//
// The backup service also moves file contents between messages in its own framing; it reaches the bytes through
// stream(), which the cut fault does not watch.
//
// A DeviceLink belongs to the thread serving its connection, like the Stream under it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "plist_util.h"
#include "stream.h"

namespace devicesim {

enum class LinkRead {
  kMessage,    // a non-empty array whose first element is a string
  kMalformed,  // framed bytes that are no property list, or not such an array
  kClosed,     // end of stream, an announced length of 0 or above the limit, or the link was cut
};

enum class LinkCut { kDrop, kStall };

// The computer's answer to a device request: ["DLMessageStatusResponse", code, text, value].
struct DeviceLinkStatus {
  int64_t code = 0;
  std::string text;
  PlistPtr value;
};

class DeviceLink {
 public:
  explicit DeviceLink(Stream& stream) : stream_(stream) {}

  Stream& stream() { return stream_; }

  // Offers `major`.`minor`, expects ["DLMessageVersionExchange", "DLVersionsOk", ...] and then announces
  // ["DLMessageDeviceReady"]. False when the computer closes or answers anything else (it is then told so
  // with a disconnect message).
  bool ExchangeVersions(uint64_t major, uint64_t minor);

  // Reads one message; *name is its first element.
  LinkRead Receive(PlistPtr* message, std::string* name);
  // Waits for the status answer to the request just sent; false when the link ends or another message came.
  bool ReceiveStatus(DeviceLinkStatus* status);

  // Send an array message as a binary property list. False once the connection is gone or cut.
  bool Send(plist_t message);
  bool Send(const Value& message);
  // Sends a message already encoded as property-list bytes.
  bool SendEncoded(const std::string& body);
  // ["DLMessageProcessMessage", body].
  bool SendProcessMessage(const Value& body);
  // ["DLMessageDisconnect", reason]: the device gives up on the link.
  bool SendDisconnect(const std::string& reason);

  // After `count` more messages have been sent the link is cut: dropped (the connection closes) or stalled
  // (the device reads and ignores everything until the computer closes).
  void CutAfter(uint64_t count, LinkCut how);
  bool cut() const { return cut_; }
  uint64_t sent() const { return sent_; }

 private:
  Stream& stream_;
  uint64_t sent_ = 0;
  uint64_t cut_at_ = UINT64_MAX;
  LinkCut cut_how_ = LinkCut::kDrop;
  bool cut_ = false;
};

// Small builders and readers of device-link arrays.
plist_t MakeLinkMessage(std::initializer_list<const char*> strings);
// The string at `index` of an array message, or "" when it is missing or not a string.
std::string LinkString(plist_t message, uint32_t index);

}  // namespace devicesim
