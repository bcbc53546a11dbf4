#include "utility/ios/zeb_device_service.h"

#include <glog/logging.h>

#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "utility/ios/device_handles.h"

namespace {

constexpr int kStartAttempts = 5;

struct ServiceState {
  std::mutex mutex;  // the service lock: guards everything below
  std::condition_variable changed;
  std::map<AMDeviceRef, std::weak_ptr<ZEBDeviceService>> afc_cache;
  // "com.apple.mobilebackup2-<device>": kept for the backup service, which may mark a device busy while it runs;
  // until then nothing is ever added and the wait below never blocks.
  std::set<std::string> busy;
};

ServiceState& State() {
  static ServiceState* state = new ServiceState();
  return *state;
}

std::string BusyKey(AMDeviceRef device) {
  std::ostringstream key;
  key << kServiceBackup << "-" << static_cast<const void*>(device);
  return key.str();
}

// Steps shared by every start. REQUIRES: the service lock held.
ZEBDeviceServicePtr StartLocked(AMDeviceRef device, const std::string& name, int* error, ServiceOptions options,
                                bool with_afc) {
  int session_error = 0;
  ZEBDeviceSessionPtr session = GetSession(device, &session_error);
  if (!session) session = OpenSession(device, &session_error);
  if (!session) {
    if (session_error != 0) *error = session_error;
    return nullptr;
  }
  AMDServiceConnectionRef connection = nullptr;
  int32_t status = kAMDUndefinedError;
  for (int attempt = 0; attempt < kStartAttempts && status != kAMDSuccess; ++attempt) {
    status = AMDeviceSecureStartService(device, name.c_str(), options.unlock_escrow_bag, &connection);
  }
  if (status != kAMDSuccess) {
    LOG(ERROR) << "StartService " << name << " failed: " << status;
    if (status == kAMDPasswordProtected) *error = kErrorPasscodeLocked;
    return nullptr;
  }
  AFCConnectionRef afc = nullptr;
  if (with_afc) {
    // AFC cannot run over an encrypted channel.
    if (AMDServiceConnectionGetSecureIOContext(connection) || AFCConnectionOpen(connection, &afc) != kAMDSuccess) {
      AMDServiceConnectionInvalidate(connection);
      return nullptr;
    }
  }
  return std::make_shared<ZEBDeviceService>(device, std::move(session), connection, afc, name);
}

}  // namespace

ZEBDeviceService::ZEBDeviceService(AMDeviceRef device_ref, ZEBDeviceSessionPtr session,
                                   AMDServiceConnectionRef service_connection, AFCConnectionRef afc_connection,
                                   std::string service_name)
    : name(std::move(service_name)),
      connection_(service_connection),
      afc_(afc_connection),
      device_(device_ref),
      session_(std::move(session)) {
  std::printf("ZEBDeviceService: %p name: %s\n", static_cast<void*>(this), name.c_str());
}

ZEBDeviceService::~ZEBDeviceService() {
  std::printf("~ZEBDeviceService: %p name: %s\n", static_cast<void*>(this), name.c_str());
  if (afc_ != nullptr) AFCConnectionClose(afc_);
  AMDServiceConnectionInvalidate(connection_);
  if (name == kServiceBackup) {
    ServiceState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.busy.erase(BusyKey(device_));
    state.changed.notify_all();
  }
}

void ForgetDeviceServices(AMDeviceRef device) {
  ServiceState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.afc_cache.erase(device);
}

ZEBDeviceServicePtr StartService(const ZEBDeviceConnection& record, const std::string& name, int* error,
                                 ServiceOptions options, bool with_afc) {
  AMDeviceRef device = DeviceHandles::Device(record);
  ServiceState& state = State();
  std::unique_lock<std::mutex> lock(state.mutex);
  if (name == kServiceAfc && !options.own_connection) {
    auto cached = state.afc_cache.find(device);
    if (cached != state.afc_cache.end()) {
      if (ZEBDeviceServicePtr live = cached->second.lock()) return live;
    }
    ZEBDeviceServicePtr started = StartLocked(device, name, error, options, true);
    if (started) state.afc_cache[device] = started;
    return started;
  }
  std::string key = BusyKey(device);
  state.changed.wait(lock, [&] { return state.busy.count(key) == 0; });
  return StartLocked(device, name, error, options, with_afc);
}

bool SendMessage(const ZEBDeviceService& service, std::string_view message) {
  return SendMessage(DeviceHandles::Connection(service), message);
}

bool ReceiveMessages(const ZEBDeviceService& service, const MessageHandler& handler) {
  return ReceiveMessages(DeviceHandles::Connection(service), handler);
}

bool SendAndReceive(const ZEBDeviceService& service, std::string_view message, const MessageHandler& handler) {
  return SendAndReceive(DeviceHandles::Connection(service), message, handler);
}
