// Whether the device service (usbmuxd) answers: the device library is loaded if it was not, and a device-list
// request must succeed. False when the library cannot be loaded.
//
// Thread safety: any thread.
#pragma once

bool IsDeviceServiceRunning();
