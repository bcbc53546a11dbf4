// DeviceLinkChannel: the byte stream under a device-link service, one framed property list at a time, with the
// raw bytes that file transfers put between messages.
//
// The device layer's channel runs on a started service: each message is a 32-bit big-endian length (1 to 10 MiB)
// and that many bytes. A receive waits at most the given time for a message to begin; once it has begun, the rest
// is read with the service's own time-out, so a time-out never leaves the stream in the middle of a message. A
// length outside the bounds, a receive that comes up short or a failed send closes the channel for good: the
// stream is out of step and nothing after it can be trusted. Tests put a fake peer behind the same interface.
//
// Thread safety: one exchange at a time; a channel belongs to the session that runs on it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "utility/ios/zeb_device_service.h"

class DeviceLinkChannel {
 public:
  enum class Status { kMessage, kTimedOut, kClosed };

  virtual ~DeviceLinkChannel() = default;
  virtual bool SendMessage(std::string_view plist) = 0;
  virtual Status ReceiveMessage(std::string* plist, unsigned timeout_ms) = 0;
  virtual bool SendBytes(std::string_view bytes) = 0;
  virtual bool ReceiveBytes(char* buffer, size_t length) = 0;
  // At least one and at most `capacity` bytes, as many as have arrived; 0 when the stream failed. A reader that
  // knows more bytes follow (a file stream) saves a receive per field this way.
  virtual size_t ReceiveSome(char* buffer, size_t capacity) { return capacity > 0 && ReceiveBytes(buffer, 1) ? 1 : 0; }
};

// The channel of a started service; it keeps the service alive.
std::unique_ptr<DeviceLinkChannel> MakeServiceChannel(ZEBDeviceServicePtr service);
