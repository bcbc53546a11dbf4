// DeviceLink: the message layer of the device's device-link services (the sync service, the backup service).
//
// Every message is a property list whose root is a non-empty array, named by its first element
// ("DLMessageVersionExchange", "SDMessageProcessChanges", ...). Messages are sent in the binary form, made from a
// value tree or from XML template text, and received in either form. Modules see messages and result codes only;
// the service connection stays inside the channel.
//
// The conversation every session opens with: the device offers its protocol version
// ["DLMessageVersionExchange", major, minor]; the computer answers ["DLMessageVersionExchange", "DLVersionsOk",
// version]; the device says ["DLMessageDeviceReady"]. Messages are matched by name ignoring case, anywhere among
// the array's top-level strings. A DLMessagePing from the device asks for nothing and is skipped by every receive.
// A DLMessageDisconnect from the device ends any wait with kDisconnected.
//
// Every wait has a time limit (the link's, or the call's): waiting ends with kTimedOut when no message began in
// time. After kClosed (a failed read or send, a length out of bounds) every later call fails at once.
//
// Thread safety: a link belongs to the one thread that runs its session.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "iOSAPI/plist_value.h"
#include "utility/ios/device_link_channel.h"

enum class DeviceLinkCode : int {
  kOk = 0,
  kSendFailed = 1,    // the message could not be made or sent
  kClosed = 2,        // the stream failed or is out of step
  kTimedOut = 3,      // no message began within the limit
  kNotAMessage = 4,   // not a property list, not an array, or an empty one
  kUnexpected = 5,    // a message other than the one awaited
  kDisconnected = 6,  // the device said DLMessageDisconnect
};

struct DeviceLinkMessage {
  PlistValue value;  // the root array
  std::string name;  // its first element when that is a string, else empty

  // True when a top-level string equals `name` ignoring case.
  bool Names(std::string_view name) const;
  // The first top-level dictionary, or null.
  const PlistValue* FirstDict() const;
};

struct DeviceLinkVersion {
  int64_t major = 0;
  int64_t minor = 0;
};

class DeviceLink {
 public:
  // What an await does with a message that is neither the one awaited nor a ping.
  enum class Others { kFail, kSkip };
  // Told each message of a records exchange; returns true to read the next one.
  using RecordsHandler = std::function<bool(const DeviceLinkMessage& message)>;

  static constexpr unsigned kDefaultTimeoutMs = 60000;

  explicit DeviceLink(std::unique_ptr<DeviceLinkChannel> channel, unsigned timeout_ms = kDefaultTimeoutMs);

  DeviceLinkCode Send(const PlistValue& message);
  // XML property-list text (a filled template) sent in the binary form.
  DeviceLinkCode SendXml(std::string_view xml);
  // The next message that is not a ping.
  DeviceLinkCode Receive(DeviceLinkMessage* message);
  // The same within `timeout_ms` (a session that must notice a stop while the device works in silence).
  DeviceLinkCode Receive(DeviceLinkMessage* message, unsigned timeout_ms) { return ReceiveWithin(timeout_ms, message); }

  // The opening conversation; `offered` receives the device's version (zeros when its first message holds none:
  // the first message is not judged). Messages before DLMessageDeviceReady are skipped. A limit of 0 uses the
  // link's; it applies to the device's first message and to the wait for DLMessageDeviceReady each.
  DeviceLinkCode ExchangeVersions(int64_t version, DeviceLinkVersion* offered = nullptr, unsigned timeout_ms = 0);
  // Reads until a message names `name`. `message` (optional) receives it. A limit of 0 uses the link's.
  DeviceLinkCode Await(std::string_view name, Others others = Others::kFail, DeviceLinkMessage* message = nullptr,
                       unsigned timeout_ms = 0);
  // Reads exactly one message (not a ping), whatever it names.
  DeviceLinkCode AcceptOneReply(DeviceLinkMessage* reply = nullptr);
  // Hands every message to `handler` until it returns false.
  DeviceLinkCode ReceiveRecords(const RecordsHandler& handler);

  // ["DLMessagePing", text]; no answer is read.
  DeviceLinkCode Ping(std::string_view text);
  // ["DLMessageProcessMessage", content].
  DeviceLinkCode SendProcessMessage(const PlistValue& content);
  // Awaits a DLMessageProcessMessage and gives its dictionary.
  DeviceLinkCode ReceiveProcessMessage(PlistValue* content);
  // ["DLMessageDisconnect", reason]; the link is not used afterwards.
  DeviceLinkCode Disconnect(std::string_view reason = "All done, thanks for the memories");

  // Raw bytes between messages (file transfers of the backup service).
  DeviceLinkCode SendBytes(std::string_view bytes);
  DeviceLinkCode ReceiveBytes(char* buffer, size_t length);
  // What has arrived, at least one byte and at most `capacity` (see DeviceLinkChannel::ReceiveSome); 0 when the
  // stream failed.
  size_t ReceiveSomeBytes(char* buffer, size_t capacity) { return channel_->ReceiveSome(buffer, capacity); }

 private:
  DeviceLinkCode ReceiveWithin(unsigned timeout_ms, DeviceLinkMessage* message);

  std::unique_ptr<DeviceLinkChannel> channel_;
  const unsigned timeout_ms_;
};

// Decodes one received property list; false when it is no message (not an array, or an empty one).
bool ParseDeviceLinkMessage(std::string_view bytes, DeviceLinkMessage* message);
