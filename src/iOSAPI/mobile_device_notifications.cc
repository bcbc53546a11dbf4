// Device notifications: the event queue, the run loop that delivers it, and the pairing watcher.
//
// libusbmuxd reports attach and detach on its own thread; the events are queued here and delivered one by one on
// the thread that runs AMDeviceRunLoopRun, so that a device's bring-up never overlaps another's. usbmuxd's own
// "paired" events are not passed on: a pairing this helper asked for is reported once, by the watcher below.
#include <glog/logging.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <thread>

#include "iOSAPI/am_device_internal.h"

namespace {

constexpr auto kPairingRetryInterval = std::chrono::seconds(2);
constexpr const char* kLabel = "Corvane";

struct NotificationState {
  std::mutex mutex;  // guards everything below
  std::condition_variable changed;
  std::deque<AMDeviceNotification> queue;
  bool stop = false;
  AMDeviceNotificationCallback callback = nullptr;
  void* context = nullptr;
  std::map<std::string, AMDeviceHandle> attached;  // by UDID, while usbmuxd lists the device
  std::map<std::string, AMDeviceHandle> pending_pairings;
  bool watcher_running = false;
};

NotificationState& State() {
  static NotificationState* state = new NotificationState();  // libusbmuxd's thread may call in until the end
  return *state;
}

void Post(NotificationState& state, AMDeviceHandle device, int message) {
  state.queue.push_back(AMDeviceNotification{std::move(device), message});
  state.changed.notify_all();
}

uint32_t UsbmuxdHandle(const char* udid) {
  idevice_t idevice = nullptr;
  uint32_t handle = 0;
  if (Lib().idevice_new_with_options(&idevice, udid, IDEVICE_LOOKUP_USBMUX) == IDEVICE_E_SUCCESS) {
    Lib().idevice_get_handle(idevice, &handle);
    Lib().idevice_free(idevice);
  }
  return handle;
}

void OnDeviceEvent(const idevice_event_t* event, void*) {
  // Only devices attached over USB are served. A device that is also reachable over the network has the same
  // UDID there; its network events must neither hide nor detach the USB one.
  if (event == nullptr || event->udid == nullptr || event->conn_type != CONNECTION_USBMUXD) return;
  NotificationState& state = State();
  if (event->event == IDEVICE_DEVICE_ADD) {
    uint32_t handle = UsbmuxdHandle(event->udid);
    auto device = std::make_shared<AMDevice>(event->udid, handle, true);
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.attached.emplace(device->udid, device).second) return;
    Post(state, device, kAMDeviceAttached);
  } else if (event->event == IDEVICE_DEVICE_REMOVE) {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto it = state.attached.find(event->udid);
    if (it == state.attached.end()) return;
    AMDeviceHandle device = std::move(it->second);
    state.attached.erase(it);
    state.pending_pairings.erase(device->udid);
    Post(state, device, kAMDeviceDetached);
  }
}

// One pairing attempt on a lockdown connection of its own (the device's own connection may be gone by now).
int32_t TryPairing(const std::string& udid) {
  idevice_t idevice = nullptr;
  if (Lib().idevice_new_with_options(&idevice, udid.c_str(), IDEVICE_LOOKUP_USBMUX) != IDEVICE_E_SUCCESS) {
    return kAMDNotConnected;
  }
  lockdownd_client_t lockdown = nullptr;
  int32_t status = FromLockdownError(Lib().lockdownd_client_new(idevice, &lockdown, kLabel));
  if (status == kAMDSuccess) {
    status = FromLockdownError(Lib().lockdownd_pair(lockdown, nullptr));
    Lib().lockdownd_client_free(lockdown);
  }
  Lib().idevice_free(idevice);
  return status;
}

void PairingWatcherLoop() {
  NotificationState& state = State();
  std::unique_lock<std::mutex> lock(state.mutex);
  while (!state.pending_pairings.empty()) {
    lock.unlock();
    std::this_thread::sleep_for(kPairingRetryInterval);
    lock.lock();
    std::map<std::string, AMDeviceHandle> pending = state.pending_pairings;
    lock.unlock();
    for (const auto& [udid, device] : pending) {
      int32_t status = TryPairing(udid);
      lock.lock();
      bool still_pending = state.pending_pairings.count(udid) != 0;
      if (still_pending && status == kAMDSuccess) {
        LOG(INFO) << "The user trusted this computer: " << udid;
        state.pending_pairings.erase(udid);
        Post(state, device, kAMDevicePaired);
      } else if (still_pending && status == kAMDUserDeniedPairing) {
        LOG(INFO) << "The user did not trust this computer: " << udid;
        state.pending_pairings.erase(udid);
      }
      lock.unlock();
    }
    lock.lock();
  }
  state.watcher_running = false;
}

}  // namespace

void WatchPendingPairing(const AMDeviceHandle& device) {
  NotificationState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.attached.count(device->udid) == 0) return;  // already gone
  state.pending_pairings[device->udid] = device;
  if (state.watcher_running) return;
  state.watcher_running = true;
  std::thread(&PairingWatcherLoop).detach();
}

int32_t AMDeviceNotificationSubscribe(AMDeviceNotificationCallback callback, void* context) {
  NotificationState& state = State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.callback = callback;
    state.context = context;
    state.stop = false;
  }
  // Poll for the daemon instead of waiting for its socket file to appear, so that a usbmuxd that starts late or
  // restarts is still found.
  Lib().libusbmuxd_set_use_inotify(0);
  return Lib().idevice_event_subscribe(&OnDeviceEvent, nullptr) == IDEVICE_E_SUCCESS ? kAMDSuccess : kAMDMuxError;
}

void AMDeviceNotificationUnsubscribe() {
  Lib().idevice_event_unsubscribe();
  // A later subscription hears about every device anew.
  NotificationState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.attached.clear();
  state.pending_pairings.clear();
  state.queue.clear();
}

void AMDeviceRunLoopRun() {
  NotificationState& state = State();
  std::unique_lock<std::mutex> lock(state.mutex);
  for (;;) {
    state.changed.wait(lock, [&] { return state.stop || !state.queue.empty(); });
    if (state.stop) return;
    AMDeviceNotification notification = std::move(state.queue.front());
    state.queue.pop_front();
    AMDeviceNotificationCallback callback = state.callback;
    void* context = state.context;
    lock.unlock();
    if (callback != nullptr) callback(notification, context);
    lock.lock();
  }
}

void AMDeviceRunLoopStop() {
  NotificationState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.stop = true;
  state.changed.notify_all();
}

bool AMDeviceServiceIsRunning() {
  usbmuxd_device_info_t* list = nullptr;
  int count = Lib().usbmuxd_get_device_list(&list);
  if (list != nullptr) Lib().usbmuxd_device_list_free(&list);
  return count >= 0;
}
