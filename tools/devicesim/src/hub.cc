#include "hub.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "pairing_material.h"
#include "plist_util.h"
#include "usbmux_wire.h"

namespace devicesim {
namespace {

std::string EventXml(const Value& body) {
  PlistPtr node(ToPlist(body));
  return ToXml(node.get());
}

Value IdEvent(const char* type, uint32_t device_id) {
  Value event = Value::Dict();
  event.Set("DeviceID", static_cast<int64_t>(device_id));
  event.Set("MessageType", type);
  return event;
}

}  // namespace

void Listener::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
}

bool Listener::Send(const std::string& xml) {
  if (closed_) return false;
  std::string packet = BuildUsbmuxPacket(0, xml);
  size_t offset = 0;
  while (offset < packet.size()) {
    ssize_t n = ::send(fd_, packet.data() + offset, packet.size() - offset, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    offset += static_cast<size_t>(n);
  }
  return true;
}

bool Listener::SendAttached(uint32_t device_id, const std::string& xml) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!announced_.insert(device_id).second) return true;
  return Send(xml);
}

bool Listener::SendDetached(uint32_t device_id, const std::string& xml) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (announced_.erase(device_id) == 0) return true;
  return Send(xml);
}

bool Listener::SendPaired(uint32_t device_id, const std::string& xml) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!announced_.count(device_id)) return true;
  return Send(xml);
}

Hub::Hub(RequestLog& request_log) : log(request_log), buid_(RandomUuid()) { RegisterBuiltinServices(services); }

void Hub::Record(Request request) {
  log.Add(request);
  gates.Pass(request);
}

bool Hub::AddDevice(const std::shared_ptr<Device>& device, bool attached, std::string* error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& other : devices_) {
      if (other->profile.name == device->profile.name || other->udid == device->udid ||
          other->profile.name == device->udid || other->udid == device->profile.name) {
        *error = "a device named " + device->profile.name + " or with UDID " + device->udid + " exists already";
        return false;
      }
    }
    devices_.push_back(device);
    if (device->profile.trust == TrustState::kTrusted) {
      // A trusted profile stands for a device this computer paired with before: the host has its record.
      std::string host_id = HostIdFor(device->udid);
      const Value* wifi = device->profile.values.Find("WiFiAddress");
      pair_records_[device->udid] = MakePairRecord(host_id, buid_, wifi ? wifi->text() : "");
      std::lock_guard<std::mutex> device_lock(device->mutex);
      device->paired_hosts.insert(host_id);
    }
  }
  if (attached) Attach(*device);
  return true;
}

std::shared_ptr<Device> Hub::Find(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& device : devices_) {
    if (device->profile.name == name || device->udid == name) return device;
  }
  return nullptr;
}

std::shared_ptr<Device> Hub::FindById(uint32_t device_id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& device : devices_) {
    std::lock_guard<std::mutex> device_lock(device->mutex);
    if (device_id != 0 && device->device_id == device_id) return device;
  }
  return nullptr;
}

std::vector<std::shared_ptr<Device>> Hub::Devices() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return devices_;
}

Value Hub::AttachedRecord(const Device& device, uint32_t device_id) {
  Value properties = Value::Dict();
  properties.Set("ConnectionSpeed", int64_t{480000000});
  properties.Set("ConnectionType", "USB");
  properties.Set("DeviceID", static_cast<int64_t>(device_id));
  properties.Set("LocationID", int64_t{0});
  properties.Set("ProductID", int64_t{0x12a8});
  properties.Set("SerialNumber", device.udid);
  Value record = IdEvent("Attached", device_id);
  record.Set("Properties", std::move(properties));
  return record;
}

bool Hub::Attach(Device& device) {
  std::vector<std::shared_ptr<Listener>> targets;
  uint32_t device_id = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::lock_guard<std::mutex> device_lock(device.mutex);
    if (device.device_id != 0) return false;
    device_id = device.device_id = next_device_id_++;
    targets = listeners_;
  }
  std::string xml = EventXml(AttachedRecord(device, device_id));
  for (const auto& listener : targets) listener->SendAttached(device_id, xml);
  return true;
}

bool Hub::Detach(Device& device) {
  std::vector<std::shared_ptr<Listener>> targets;
  uint32_t device_id = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::lock_guard<std::mutex> device_lock(device.mutex);
    if (device.device_id == 0) return false;
    device_id = device.device_id;
    device.device_id = 0;
    device.open_ports.clear();
    // Pulling the cable ends every connection the device had; their threads see end of stream and finish.
    // Done under the lock: a tunnel leaves the set before its socket is closed, so no reused number is hit.
    for (int fd : device.tunnel_fds) ::shutdown(fd, SHUT_RDWR);
    targets = listeners_;
  }
  std::string xml = EventXml(IdEvent("Detached", device_id));
  for (const auto& listener : targets) listener->SendDetached(device_id, xml);
  return true;
}

std::optional<std::string> Hub::ReadPairRecord(const std::string& udid) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pair_records_.find(udid);
  if (it == pair_records_.end()) return std::nullopt;
  return it->second;
}

void Hub::SavePairRecord(const std::string& udid, const std::string& record) {
  std::vector<std::shared_ptr<Listener>> targets;
  uint32_t device_id = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pair_records_[udid] = record;
    targets = listeners_;
    for (const auto& device : devices_) {
      if (device->udid != udid) continue;
      std::lock_guard<std::mutex> device_lock(device->mutex);
      device_id = device->device_id;
    }
  }
  if (device_id == 0) return;
  std::string xml = EventXml(IdEvent("Paired", device_id));
  for (const auto& listener : targets) listener->SendPaired(device_id, xml);
}

void Hub::DeletePairRecord(const std::string& udid) {
  std::lock_guard<std::mutex> lock(mutex_);
  pair_records_.erase(udid);
}

void Hub::AddListener(const std::shared_ptr<Listener>& listener) {
  std::vector<std::pair<uint32_t, std::string>> announce;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    listeners_.push_back(listener);
    for (const auto& device : devices_) {
      uint32_t device_id = 0;
      {
        std::lock_guard<std::mutex> device_lock(device->mutex);
        device_id = device->device_id;
      }
      if (device_id != 0) announce.emplace_back(device_id, EventXml(AttachedRecord(*device, device_id)));
    }
  }
  for (const auto& [device_id, xml] : announce) listener->SendAttached(device_id, xml);
}

void Hub::RemoveListener(const Listener* listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(listeners_, [listener](const auto& entry) { return entry.get() == listener; });
}

uint16_t Hub::OpenPort(Device& device, const std::string& service) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::lock_guard<std::mutex> device_lock(device.mutex);
  uint16_t port = 0;
  do {
    port = next_port_;
    next_port_ = next_port_ >= 65000 ? 49152 : static_cast<uint16_t>(next_port_ + 1);
  } while (device.open_ports.count(port));
  device.open_ports[port] = service;
  return port;
}

void Hub::TrackSocket(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  sockets_.insert(fd);
}

void Hub::ForgetSocket(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  sockets_.erase(fd);
}

void Hub::CutAllSockets() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int fd : sockets_) ::shutdown(fd, SHUT_RDWR);
}

}  // namespace devicesim
