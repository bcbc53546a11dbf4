// The shared state of one simulator: its devices, the pair records usbmuxd keeps for the host, the clients that
// listen for device events, the service registry, the request log, and every client socket so that stopping can
// cut them all.
//
// Thread safety: every method may be called from any thread; the hub's own fields are guarded by `mutex_`, and a
// device's fields by the device's mutex. Lock order: hub mutex before device mutex, never the reverse.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "devicesim/request_log.h"
#include "request_gates.h"
#include "device.h"
#include "service.h"

namespace devicesim {

// One usbmuxd connection in Listen mode: device events are written to it from any thread.
class Listener {
 public:
  explicit Listener(int fd) : fd_(fd) {}
  int fd() const { return fd_; }
  // Sends an event packet (tag 0). Paired is sent only for a DeviceID announced on this connection before.
  bool SendAttached(uint32_t device_id, const std::string& xml);
  bool SendDetached(uint32_t device_id, const std::string& xml);
  bool SendPaired(uint32_t device_id, const std::string& xml);
  // After this nothing is written any more, so the connection's socket may be closed and its number reused.
  void Close();

 private:
  bool Send(const std::string& xml);

  const int fd_;
  std::mutex mutex_;
  bool closed_ = false;           // guarded by mutex_
  std::set<uint32_t> announced_;  // guarded by mutex_
};

class Hub {
 public:
  explicit Hub(RequestLog& log);

  RequestLog& log;
  RequestGates gates;
  ServiceRegistry services;
  std::atomic<bool> stopping{false};
  const std::string& buid() const { return buid_; }
  // Logs a request about to be served, then holds it while a stall asks for that (see request_gates.h).
  void Record(Request request);

  bool AddDevice(const std::shared_ptr<Device>& device, bool attached, std::string* error);
  // By profile folder name or UDID.
  std::shared_ptr<Device> Find(const std::string& name) const;
  std::shared_ptr<Device> FindById(uint32_t device_id) const;
  std::vector<std::shared_ptr<Device>> Devices() const;

  // Give the device a fresh DeviceID and announce it, or announce its departure and cut its tunnels.
  // False when it already is in that state.
  bool Attach(Device& device);
  bool Detach(Device& device);

  // The Attached message body (the DeviceList entry and the Listen event share it).
  static Value AttachedRecord(const Device& device, uint32_t device_id);

  std::optional<std::string> ReadPairRecord(const std::string& udid) const;
  // Stores the record and tells listeners the device is paired.
  void SavePairRecord(const std::string& udid, const std::string& record);
  void DeletePairRecord(const std::string& udid);

  void AddListener(const std::shared_ptr<Listener>& listener);
  void RemoveListener(const Listener* listener);

  // A fresh port on which the next Connect reaches `service`.
  uint16_t OpenPort(Device& device, const std::string& service);

  void TrackSocket(int fd);
  void ForgetSocket(int fd);
  // Shuts every tracked socket down (both directions); their threads see end of stream.
  void CutAllSockets();

 private:
  mutable std::mutex mutex_;
  const std::string buid_;
  std::vector<std::shared_ptr<Device>> devices_;        // guarded by mutex_
  std::map<std::string, std::string> pair_records_;     // guarded by mutex_; UDID -> record bytes
  std::vector<std::shared_ptr<Listener>> listeners_;    // guarded by mutex_
  std::set<int> sockets_;                               // guarded by mutex_
  uint32_t next_device_id_ = 1;                         // guarded by mutex_
  uint16_t next_port_ = 49152;                          // guarded by mutex_
};

}  // namespace devicesim
