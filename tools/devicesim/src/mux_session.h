// Serves one client connection of the emulated usbmuxd daemon: answers ListDevices, Listen, ReadBUID and the
// pair-record requests, and after a successful Connect hands the socket to the device service behind the port.
//
// Runs on the connection's own thread and returns when the client closes, the device is detached or the
// simulator stops; the caller closes the socket afterwards.
#pragma once

#include "hub.h"

namespace devicesim {

inline constexpr uint16_t kLockdownPort = 62078;

void ServeMuxClient(Hub& hub, int fd);

}  // namespace devicesim
