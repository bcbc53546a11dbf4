// The record of what clients asked the simulator, so a test can assert on it ("five StartService requests for
// com.apple.afc", "the client read DeviceName without a session").
//
// Every layer appends one Request per message it served: "usbmuxd" (MessageType), "lockdown" (the Request name),
// "afc" (the operation name such as "FILE_OPEN") and each plist service under its service name (the Command, or
// for springboard services the lower-case "command"). Arguments worth asserting on go into `args` under the wire's
// own key names: Key, Domain, Service, Path, Path2 (the target of a rename or link), BundleID, ApplicationIdentifier,
// PackagePath, EntryName, EntryClass, DeviceID, PortNumber.
//
// RequestLog is internally synchronised: every member may be called from any thread.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace devicesim {

struct Request {
  std::string udid{};     // the device the request reached; empty for usbmuxd messages that name no device
  std::string channel{};  // "usbmuxd", "lockdown", "afc", "afc2" or a service name
  std::string name{};     // message type, request name, AFC operation or service command
  std::map<std::string, std::string> args{};

  // The argument's value, or an empty string when absent.
  std::string Arg(const std::string& key) const;
};

// What to count. Empty fields match anything; `arg_key` with `arg_value` requires that argument.
struct RequestFilter {
  std::string udid{};
  std::string channel{};
  std::string name{};
  std::string arg_key{};
  std::string arg_value{};

  bool Matches(const Request& request) const;
};

class RequestLog {
 public:
  // Keeps at most `capacity` records; the oldest are dropped first (a long benchmark must not grow without bound).
  explicit RequestLog(size_t capacity = 200000) : capacity_(capacity) {}

  void Add(Request request);
  std::vector<Request> Snapshot() const;
  std::vector<Request> Find(const RequestFilter& filter) const;
  size_t Count(const RequestFilter& filter) const;
  void Clear();

 private:
  const size_t capacity_;
  mutable std::mutex mutex_;
  std::vector<Request> records_;  // guarded by mutex_; a ring once full, `next_` is the oldest slot
  size_t next_ = 0;               // guarded by mutex_
};

}  // namespace devicesim
