// The device simulator: an emulated usbmuxd daemon on a UNIX socket with virtual devices behind it, each made
// from a profile folder (device.json and afc/). Clients reach it with USBMUXD_SOCKET_ADDRESS=UNIX:<socket>.
//
// Typical test use:
//   devicesim::Simulator sim;
//   std::string err;
//   sim.Start(dir + "/mux.sock", &err);
//   sim.AddProfile(dir + "/phone", /*attached=*/true, &err);
//   setenv("USBMUXD_SOCKET_ADDRESS", sim.SocketAddress().c_str(), 1);
//   ... run the client ...
//   sim.Log().Count({.channel = "lockdown", .name = "StartService"});
//   sim.Stop();
//
// Devices are named by their profile folder's name (the last path component) or by their UDID.
//
// Thread safety: every public member may be called from any thread at any time, also while clients are
// connected. Stop (also run by the destructor) closes every socket, joins every thread the simulator started and
// removes the socket file; it never waits for a client.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devicesim/backup_fault.h"
#include "devicesim/faults.h"
#include "devicesim/request_log.h"
#include "devicesim/trust_state.h"
#include "devicesim/value.h"

namespace devicesim {

struct DeviceStatus {
  std::string name;          // profile folder name
  std::string udid;
  std::string device_name;   // current DeviceName
  uint32_t device_id = 0;    // usbmuxd DeviceID while attached, 0 while detached
  bool attached = false;
  TrustState trust = TrustState::kTrusted;
  bool locked = false;
};

class Simulator {
 public:
  Simulator();
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Listens on `socket_path` (an existing socket file there is replaced). False with a reason when it cannot
  // listen or is already started.
  bool Start(const std::string& socket_path, std::string* error);
  // Idempotent. Afterwards the simulator can be started again; devices and their run-time state are kept.
  void Stop();
  bool running() const;
  // "UNIX:" + the socket path, the value for USBMUXD_SOCKET_ADDRESS.
  std::string SocketAddress() const;

  // Loads a profile folder. Works before and after Start. False when device.json is unreadable or invalid, or
  // when a device of the same name or UDID exists.
  bool AddProfile(const std::string& folder, bool attached, std::string* error);

  bool Attach(const std::string& device, std::string* error);
  // Detaching also cuts every open connection to the device, as pulling the cable does.
  bool Detach(const std::string& device, std::string* error);
  // Trust accepts the next Pair request (the user tapped "Trust"); Deny answers it with UserDeniedPairing and
  // forgets the hosts paired so far.
  bool Trust(const std::string& device, std::string* error);
  bool Deny(const std::string& device, std::string* error);
  // While locked every StartService answers Error "PasswordProtected".
  bool Lock(const std::string& device, std::string* error);
  bool Unlock(const std::string& device, std::string* error);

  // Sets a lockdown value; an empty domain means the top level. Holds for the rest of the run.
  bool SetValue(const std::string& device, const std::string& domain, const std::string& key, const Value& value,
                std::string* error);
  // The lockdown value, if present (empty domain = top level).
  bool GetValue(const std::string& device, const std::string& domain, const std::string& key, Value* value,
                std::string* error) const;
  // The current DeviceName (changed by clients with SetValue or by the API).
  bool GetDeviceName(const std::string& device, std::string* name, std::string* error) const;
  // Bundle identifiers installed now, in installation order.
  bool InstalledApps(const std::string& device, std::vector<std::string>* bundle_ids, std::string* error) const;

  std::vector<DeviceStatus> List() const;
  bool Status(const std::string& device, DeviceStatus* status, std::string* error) const;

  // Every request served, for every device.
  RequestLog& Log();

  // Fault injection. RefuseConnects answers the next `count` usbmuxd Connect requests to the device with
  // Result 3 (connection refused).
  bool RefuseConnects(const std::string& device, int count, std::string* error);
  // Arms a fault on a service (see faults.h); kNone clears it.
  bool SetServiceFault(const std::string& device, const std::string& service, const ServiceFault& fault,
                       std::string* error);
  // Stalls on demand: every request matching `filter` (as the request log records it: channel, name, arguments
  // such as the Path of an AFC FILE_READ) is held before it is served, except the first `let_pass` of them, until
  // ReleaseStall (or Stop). Returns the stall's number. A test uses it to make one side of a race the slower one.
  int StallRequests(const RequestFilter& filter, size_t let_pass = 0);
  // Lets the stall's held requests be served and holds no more.
  void ReleaseStall(int stall);
  // Waits until `count` requests have been held at the stall; false after `timeout`.
  bool WaitStalled(int stall, size_t count, std::chrono::milliseconds timeout);
  // Makes the AFC listing of `afc_folder` (a device path such as "/DCIM") include hostile names; an empty folder
  // turns it off.
  bool SetHostileListing(const std::string& device, const std::string& afc_folder, std::string* error);
  // Arms a failure of the backup service for every later backup (see backup_fault.h); kNone clears it.
  bool SetBackupFault(const std::string& device, const BackupFault& fault, std::string* error);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace devicesim
