// ZEBDevice and ZEBDeviceSession: a connection to a device and a lockdown session on it, shared by everyone who
// needs one, with the two registries that share them.
//
// The registries hold weak references: a device connection or session closes when its last user lets go, and
// the next user opens a new one. Connecting and opening a session happen inside the registry's lock, so two
// threads that ask at once wait for each other and share the result.
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "iOSAPI/mobile_device.h"

class ZEBDevice {
 public:
  ~ZEBDevice();
  const AMDeviceRef device;
  const uint32_t connectionID;

 private:
  friend std::shared_ptr<ZEBDevice> ConnectDevice(AMDeviceRef device);
  ZEBDevice(AMDeviceHandle handle, uint32_t connection_id)
      : device(handle.get()), connectionID(connection_id), owner_(std::move(handle)) {}
  const AMDeviceHandle owner_;
};

class ZEBDeviceSession {
 public:
  ZEBDeviceSession(std::shared_ptr<ZEBDevice> device_connection, std::string session_id)
      : device(device_connection->device), session_id_(std::move(session_id)), connection_(std::move(device_connection)) {}
  ~ZEBDeviceSession();
  const AMDeviceRef device;

 private:
  const std::string session_id_;
  const std::shared_ptr<ZEBDevice> connection_;  // the session runs on this connection
};

using ZEBDevicePtr = std::shared_ptr<ZEBDevice>;
using ZEBDeviceSessionPtr = std::shared_ptr<ZEBDeviceSession>;

// Bring-up error codes.
// The device left while it was being brought up (the code modules answer for an unknown device).
constexpr int kErrorDeviceGone = 7;
constexpr int kErrorSystemTooOld = 3;
constexpr int kErrorAfcUnavailable = 12;
constexpr int kErrorAfcDeviceInfo = 17;
constexpr int kErrorNotConnected = 24;
constexpr int kErrorNotPaired = 25;
constexpr int kErrorPairingInvalid = 26;
constexpr int kErrorSessionFailed = 27;
constexpr int kErrorPasscodeLocked = 48;
constexpr int kErrorNoSession = 49;

// Connects: AMDeviceConnect, and once more after a disconnect when the first attempt fails. Null when both fail.
ZEBDevicePtr ConnectDevice(AMDeviceRef device);

// The live connection of the device, or a new one (error 24 when it cannot connect).
ZEBDevicePtr GetDevice(AMDeviceRef device, int* error);
// A connection made now (or the device's live lockdown connection, when another user still holds one),
// replacing the registered entry.
ZEBDevicePtr RenewDevice(AMDeviceRef device);

// The live session of the device, or one opened now.
ZEBDeviceSessionPtr GetSession(AMDeviceRef device, int* error);
// Always opens a new session and registers it (the old one stays with its holders): connect (24), check the
// pairing (25: pairing requested on the device; 26: the pairing did not validate), start the session (27).
ZEBDeviceSessionPtr OpenSession(AMDeviceRef device, int* error);

// Drops the device's registry entries (at detachment); the objects close when their holders let go.
void ForgetDevice(AMDeviceRef device);
