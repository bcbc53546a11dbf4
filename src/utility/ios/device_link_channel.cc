#include "utility/ios/device_link_channel.h"

#include "utility/ios/device_handles.h"
#include "utility/ios/zeb_service_messages.h"

namespace {

class ServiceChannel : public DeviceLinkChannel {
 public:
  explicit ServiceChannel(ZEBDeviceServicePtr service) : service_(std::move(service)) {}

  bool SendMessage(std::string_view plist) override {
    if (closed_ || !::SendMessage(connection(), plist)) closed_ = true;
    return !closed_;
  }

  Status ReceiveMessage(std::string* plist, unsigned timeout_ms) override {
    if (closed_) return Status::kClosed;
    unsigned char prefix[4];
    long first = AMDServiceConnectionReceiveWithin(connection(), prefix, 1, timeout_ms);
    if (first == 0) return Status::kTimedOut;
    if (first < 0 || !ReceiveExactly(connection(), reinterpret_cast<char*>(prefix) + 1, 3)) {
      return Close();
    }
    uint32_t length = (uint32_t{prefix[0]} << 24) | (uint32_t{prefix[1]} << 16) | (uint32_t{prefix[2]} << 8) | prefix[3];
    if (length < 1 || length > kMaxServiceMessage) return Close();
    plist->resize(length);
    if (!ReceiveExactly(connection(), plist->data(), length)) return Close();
    return Status::kMessage;
  }

  bool SendBytes(std::string_view bytes) override {
    if (closed_ || AMDServiceConnectionSend(connection(), bytes.data(), bytes.size()) < 0) {
      closed_ = true;
    }
    return !closed_;
  }

  bool ReceiveBytes(char* buffer, size_t length) override {
    if (closed_ || !ReceiveExactly(connection(), buffer, length)) closed_ = true;
    return !closed_;
  }

  size_t ReceiveSome(char* buffer, size_t capacity) override {
    if (closed_ || capacity == 0) return 0;
    long received = AMDServiceConnectionReceive(connection(), buffer, capacity);
    if (received < 1) {
      closed_ = true;
      return 0;
    }
    return static_cast<size_t>(received);
  }

 private:
  AMDServiceConnectionRef connection() const { return DeviceHandles::Connection(*service_); }
  Status Close() {
    closed_ = true;
    return Status::kClosed;
  }

  const ZEBDeviceServicePtr service_;
  bool closed_ = false;
};

}  // namespace

std::unique_ptr<DeviceLinkChannel> MakeServiceChannel(ZEBDeviceServicePtr service) {
  return std::make_unique<ServiceChannel>(std::move(service));
}
