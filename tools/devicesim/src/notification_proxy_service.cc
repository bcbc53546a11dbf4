// The notification proxy ("com.apple.mobile.notification_proxy"): a client observes notification names and the
// device relays them when they happen (the installation proxy posts application_installed/_uninstalled).
#include <set>

#include "builtin_services.h"
#include "hub.h"
#include "plist_channel.h"

namespace devicesim {
namespace {

// The connection's end of the device's notification bus. Deliver runs on whichever thread posts, so writes to
// the stream and the observed names are guarded by mutex_.
class RelaySink : public NotificationSink {
 public:
  explicit RelaySink(Stream& stream) : stream_(&stream) {}

  void Observe(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    observed_.insert(name);
  }

  void Deliver(const std::string& name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stream_ || !observed_.count(name)) return;
    Value message = Value::Dict();
    message.Set("Command", "RelayNotification");
    message.Set("Name", name);
    SendLocked(message);
  }

  bool Send(const Value& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    return stream_ && SendLocked(message);
  }

  // After this no thread touches the stream any more.
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    stream_ = nullptr;
  }

 private:
  bool SendLocked(const Value& message) {
    PlistPtr node(ToPlist(message));
    return WritePlistMessage(*stream_, LengthOrder::kBigEndian, node.get(), PlistFormat::kXml);
  }

  std::mutex mutex_;
  Stream* stream_;                  // guarded by mutex_; null once closed
  std::set<std::string> observed_;  // guarded by mutex_
};

class NotificationProxyService : public Service {
 public:
  void Serve(ServiceContext& context) override {
    auto sink = std::make_shared<RelaySink>(context.stream);
    context.device->AddObserver(sink);
    while (!context.hub.stopping.load()) {
      PlistPtr request = ReadPlistMessage(context.stream, LengthOrder::kBigEndian);
      if (!request || plist_get_node_type(request.get()) != PLIST_DICT) break;
      std::string command = DictString(request.get(), "Command").value_or("");
      std::string name = DictString(request.get(), "Name").value_or("");
      context.Log(command, name.empty() ? std::map<std::string, std::string>{}
                                        : std::map<std::string, std::string>{{"Name", name}});
      if (command == "ObserveNotification") {
        sink->Observe(name);
      } else if (command == "PostNotification") {
        context.device->Post(name);
      } else if (command == "Shutdown") {
        Value death = Value::Dict();
        death.Set("Command", "ProxyDeath");
        sink->Send(death);
        break;
      }
    }
    sink->Close();
    context.device->RemoveObserver(sink.get());
  }
};

}  // namespace

std::unique_ptr<Service> MakeNotificationProxyService() { return std::make_unique<NotificationProxyService>(); }

}  // namespace devicesim
