// Shared set-up of the fidelity tests: a simulator started in-process on a socket in a fresh temporary folder,
// USBMUXD_SOCKET_ADDRESS pointing at it (for the Debian tools started as child processes and for
// libimobiledevice called in-process), profile writing, and running a tool with a deadline so no test hangs.
//
// Each test owns its fixture; the helpers are used from the test's thread (the simulator itself is
// thread-safe).
#pragma once

#include <gtest/gtest.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>

#include <string>
#include <vector>

#include "devicesim/profile_builder.h"
#include "devicesim/simulator.h"

namespace devicesim {

struct ToolResult {
  int exit_code = -1;
  bool timed_out = false;
  std::string output;  // standard output and standard error together
};

// Starts `argv` with the current environment, collects its output and kills it after `timeout_ms`.
ToolResult RunTool(const std::vector<std::string>& argv, int timeout_ms = 20000);

// A lockdown client on a device, made with the full handshake; frees everything on destruction.
class LockdownSession {
 public:
  explicit LockdownSession(const std::string& udid);
  ~LockdownSession();
  bool ok() const { return error_ == LOCKDOWN_E_SUCCESS; }
  lockdownd_error_t error() const { return error_; }
  idevice_t device() const { return device_; }
  lockdownd_client_t client() const { return client_; }
  // Starts a service; null with the lockdown error in *error on failure. The caller frees the descriptor.
  lockdownd_service_descriptor_t Start(const char* service, lockdownd_error_t* error = nullptr);

 private:
  idevice_t device_ = nullptr;
  lockdownd_client_t client_ = nullptr;
  lockdownd_error_t error_ = LOCKDOWN_E_UNKNOWN_ERROR;
};

// A raw connection to a started service, for protocols without a libimobiledevice client (air traffic) and for
// looking at exactly what the device sends under a fault.
class RawService {
 public:
  RawService(LockdownSession& session, const char* service);
  ~RawService();
  bool ok() const { return connection_ != nullptr; }
  bool Send(const std::string& bytes);
  // Exactly `size` bytes within `timeout_ms`; false on a timeout, a short read or a closed connection.
  bool Receive(size_t size, std::string* bytes, int timeout_ms = 5000);
  // A property list behind a 4-byte length (big- or little-endian); the caller frees the result.
  bool SendPlist(plist_t message, bool little_endian);
  plist_t ReceivePlist(bool little_endian, int timeout_ms = 5000);

 private:
  idevice_connection_t connection_ = nullptr;
};

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the profile under the test folder as `name` and adds it to the simulator.
  void AddDevice(const std::string& name, const ProfileBuilder& profile, bool attached = true);
  std::string ProfileDir(const std::string& name) const { return dir_ + "/" + name; }
  std::string AfcDir(const std::string& name) const { return dir_ + "/" + name + "/afc"; }
  size_t Count(const RequestFilter& filter) { return sim_.Log().Count(filter); }

  std::string dir_;
  std::string socket_;
  Simulator sim_;
};

}  // namespace devicesim
