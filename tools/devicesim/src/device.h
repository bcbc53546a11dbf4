// One simulated device at run time: its profile and the state that changes while the simulator runs (lockdown
// values, trust, lock, paired hosts, installed applications, open service ports, armed faults, notification
// observers, the sockets of its open tunnels).
//
// Thread safety: `profile` and `udid` are constant after construction; `sync` locks itself; every other field is
// guarded by `mutex`.
// Methods lock it themselves, so callers must not hold it when they call one.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "profile.h"
#include "sync_store.h"

namespace devicesim {

// Receives notification-proxy events ("com.apple.mobile.application_installed", ...) for one connection.
class NotificationSink {
 public:
  virtual ~NotificationSink() = default;
  virtual void Deliver(const std::string& name) = 0;
};

class Device {
 public:
  explicit Device(Profile profile);

  const Profile profile;
  const std::string udid;

  mutable std::mutex mutex;
  Value values;    // guarded by mutex; top-level lockdown values
  Value domains;   // guarded by mutex
  TrustState trust;                  // guarded by mutex
  bool locked;                       // guarded by mutex
  std::set<std::string> paired_hosts;  // guarded by mutex; HostIDs that may start a session
  std::vector<AppRecord> apps;       // guarded by mutex; installed, in installation order
  std::map<std::string, AppRecord> archives;  // guarded by mutex; by bundle identifier
  uint32_t device_id = 0;            // guarded by mutex; 0 while detached
  std::map<uint16_t, std::string> open_ports;  // guarded by mutex; port -> service, each good for one Connect
  int refuse_connects;               // guarded by mutex
  std::map<std::string, ServiceFault> faults;  // guarded by mutex
  std::string hostile_folder;        // guarded by mutex; normalised AFC path, empty = none
  std::set<int> tunnel_fds;          // guarded by mutex; client sockets tunnelled to this device
  BackupFault backup_fault;          // guarded by mutex
  std::string backup_password;       // guarded by mutex; set while backups are encrypted
  SyncStore sync;                    // personal data; guarded by its own lock
  int64_t afc_baseline_bytes = 0;    // constant; the afc/ folder's size at load, when its growth is limited

  // The lockdown value, if any (empty domain = top level).
  std::optional<Value> GetValue(const std::string& domain, const std::string& key) const;
  void SetValue(const std::string& domain, const std::string& key, Value value);
  std::string DeviceName() const;

  // Takes one use of the fault armed for `service`; kNone when there is none.
  ServiceFault TakeFault(const std::string& service);

  void AddObserver(const std::shared_ptr<NotificationSink>& sink);
  void RemoveObserver(const NotificationSink* sink);
  // Delivers `name` to every observer (outside the lock, so a slow client does not block the device).
  void Post(const std::string& name);

 private:
  std::vector<std::weak_ptr<NotificationSink>> observers_;  // guarded by mutex
};

}  // namespace devicesim
