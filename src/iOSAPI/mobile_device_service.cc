// Service connections: starting a service over the device's session and moving raw bytes on it.
//
// The connection to the service's port is made on first use, so that an AFC client (which makes its own
// connection) and a plain message connection never both take the one connection a service accepts.
#include <cstdlib>

#include "iOSAPI/am_device_internal.h"
#include "platform/platform.h"

struct AMDServiceConnection {
  AMDeviceHandle device;
  idevice_t idevice = nullptr;
  lockdownd_service_descriptor_t descriptor = nullptr;
  std::mutex mutex;  // guards client
  service_client_t client = nullptr;
  bool taken_by_afc = false;
};

namespace {

// How long a receive waits for the device before it counts as failed.
unsigned ReceiveTimeoutMs() {
  static const unsigned timeout = [] {
    std::string text = platform::GetEnvironment("CORVANE_SERVICE_TIMEOUT_MS");
    long value = text.empty() ? 0 : std::atol(text.c_str());
    return value > 0 ? static_cast<unsigned>(value) : 60000u;
  }();
  return timeout;
}

service_client_t ClientOf(AMDServiceConnection& connection) {
  std::lock_guard<std::mutex> lock(connection.mutex);
  if (connection.client == nullptr && !connection.taken_by_afc &&
      Lib().service_client_new(connection.idevice, connection.descriptor, &connection.client) != SERVICE_E_SUCCESS) {
    connection.client = nullptr;
  }
  return connection.client;
}

}  // namespace

int32_t AMDeviceSecureStartService(AMDeviceRef device, const char* name, bool unlock_escrow_bag,
                                   AMDServiceConnectionRef* connection) {
  *connection = nullptr;
  lockdownd_service_descriptor_t descriptor = nullptr;
  {
    std::lock_guard<std::mutex> lock(device->mutex);
    if (device->lockdown == nullptr) return kAMDNotConnected;
    lockdownd_error_t error =
        unlock_escrow_bag ? Lib().lockdownd_start_service_with_escrow_bag(device->lockdown, name, &descriptor)
                          : Lib().lockdownd_start_service(device->lockdown, name, &descriptor);
    if (error != LOCKDOWN_E_SUCCESS || descriptor == nullptr) {
      if (descriptor != nullptr) Lib().lockdownd_service_descriptor_free(descriptor);
      return error != LOCKDOWN_E_SUCCESS ? FromLockdownError(error) : kAMDUndefinedError;
    }
  }
  auto started = std::make_unique<AMDServiceConnection>();
  started->device = device->shared_from_this();
  started->descriptor = descriptor;
  if (Lib().idevice_new_with_options(&started->idevice, device->udid.c_str(), IDEVICE_LOOKUP_USBMUX) !=
      IDEVICE_E_SUCCESS) {
    Lib().lockdownd_service_descriptor_free(descriptor);
    return kAMDNotConnected;
  }
  *connection = started.release();
  return kAMDSuccess;
}

long AMDServiceConnectionSend(AMDServiceConnectionRef connection, const void* data, size_t length) {
  service_client_t client = ClientOf(*connection);
  if (client == nullptr || length > UINT32_MAX) return -1;
  // All of it or a failure: a message cut short would leave the service reading the next one out of step.
  const char* bytes = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    uint32_t sent = 0;
    if (Lib().service_send(client, bytes + done, static_cast<uint32_t>(length - done), &sent) != SERVICE_E_SUCCESS ||
        sent == 0) {
      return -1;
    }
    done += sent;
  }
  return static_cast<long>(done);
}

long AMDServiceConnectionReceive(AMDServiceConnectionRef connection, void* buffer, size_t length) {
  return AMDServiceConnectionReceiveWithin(connection, buffer, length, ReceiveTimeoutMs());
}

long AMDServiceConnectionReceiveWithin(AMDServiceConnectionRef connection, void* buffer, size_t length,
                                       unsigned timeout_ms) {
  service_client_t client = ClientOf(*connection);
  if (client == nullptr) return -1;
  uint32_t received = 0;
  uint32_t ask = length > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(length);
  service_error_t error =
      Lib().service_receive_with_timeout(client, static_cast<char*>(buffer), ask, &received, timeout_ms);
  if (received > 0) return static_cast<long>(received);
  return error == SERVICE_E_SUCCESS || error == SERVICE_E_TIMEOUT ? 0 : -1;
}

bool AMDServiceConnectionGetSecureIOContext(AMDServiceConnectionRef connection) {
  return connection->descriptor->ssl_enabled != 0;
}

void AMDServiceConnectionInvalidate(AMDServiceConnectionRef connection) {
  if (connection == nullptr) return;
  if (connection->client != nullptr) Lib().service_client_free(connection->client);
  if (connection->descriptor != nullptr) Lib().lockdownd_service_descriptor_free(connection->descriptor);
  if (connection->idevice != nullptr) Lib().idevice_free(connection->idevice);
  delete connection;
}

// The AFC client makes the service's one connection itself.
int32_t AFCConnectionOpenOnService(AMDServiceConnectionRef service, afc_client_t* client) {
  std::lock_guard<std::mutex> lock(service->mutex);
  if (service->client != nullptr || service->taken_by_afc) return kAMDInvalidArgument;
  afc_error_t error = Lib().afc_client_new(service->idevice, service->descriptor, client);
  if (error == AFC_E_SUCCESS) service->taken_by_afc = true;
  return FromAfcError(error);
}
