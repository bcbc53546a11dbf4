// The device's end of the device-link framing spoken by the backup service: every message is a property list
// behind a 4-byte big-endian length, an array whose first element names it ("DLMessage..."); a session opens
// with the version exchange, and the computer answers each device request with a DLMessageStatusResponse.
//
// A DeviceLink belongs to the thread serving its connection, like the Stream it wraps.
#pragma once

#include <cstdint>
#include <string>

#include "plist_channel.h"

namespace devicesim {

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

  // Offers ["DLMessageVersionExchange", major, minor], expects the computer's "DLVersionsOk" and announces
  // ["DLMessageDeviceReady"]. False when the computer refuses or goes away.
  bool ExchangeVersions(uint64_t major, uint64_t minor);

  // Sends an array message as a binary property list.
  bool Send(const Value& message);
  // ["DLMessageProcessMessage", body].
  bool SendProcessMessage(const Value& body);
  // The next message: null when the stream ends or what arrives is no array led by a string.
  PlistPtr Receive();
  // Waits for the status answer to the request just sent; false when the stream ends or another message came.
  bool ReceiveStatus(DeviceLinkStatus* status);

 private:
  Stream& stream_;
};

// The first element of a device-link message, empty when it has none.
std::string DeviceLinkMessageName(plist_t message);

}  // namespace devicesim
