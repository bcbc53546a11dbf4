#include "utility/module/plugins/plugin_request.h"

#include <glog/logging.h>

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Shared by the caller and the dispatching thread, which may outlive the caller's wait.
struct PendingRequest {
  std::string name;
  std::string task_id;
  std::string request;
  uintptr_t sender_id = 0;
  std::mutex mutex;
  std::condition_variable done_signal;
  bool done = false;
  std::optional<std::string> reply;
};

void Dispatch(bas::PluginRegistry& bus, const std::shared_ptr<PendingRequest>& pending) {
  BASObserveData message{};
  message.message_name = pending->name.c_str();
  message.task_id = pending->task_id.c_str();
  message.sender_id = pending->sender_id;
  message.payload_kind = kBASPayloadText;
  message.payload = pending->request.data();
  message.payload_length = pending->request.size();
  bus.Dispatch(&message);
  std::optional<std::string> reply;
  if (message.result == 1 && message.output != nullptr) reply = static_cast<const char*>(message.output);
  std::free(message.output);
  std::lock_guard<std::mutex> lock(pending->mutex);
  pending->reply = std::move(reply);
  pending->done = true;
  pending->done_signal.notify_all();
}

}  // namespace

std::optional<std::string> AskPlugins(bas::PluginRegistry& bus, uintptr_t sender_id, const std::string& name,
                                      const std::string& task_id, const std::string& request,
                                      std::chrono::milliseconds timeout) {
  auto pending = std::make_shared<PendingRequest>();
  pending->name = name;
  pending->task_id = task_id;
  pending->request = request;
  pending->sender_id = sender_id;
  std::thread(Dispatch, std::ref(bus), pending).detach();
  std::unique_lock<std::mutex> lock(pending->mutex);
  if (!pending->done_signal.wait_for(lock, timeout, [&] { return pending->done; })) {
    LOG(WARNING) << "No plug-in answered " << name << " within " << timeout.count() << " ms";
    return std::nullopt;
  }
  return std::move(pending->reply);
}
