// The device folder: where the local copies and temporary files of one device live while the process runs.
//
// It is the process folder (removed with its content at shutdown) followed by the device's unique identifier and
// "/". The identifier comes from the device, so one that could name anything but a single folder ("..", a "/", an
// empty text) gets no folder at all.
//
// Thread safety: any thread; creating the same folder from two threads at once is harmless.
#pragma once

#include <string>

// The device folder, ending in "/", created with its parents; empty when the identifier is unsafe or the folder
// cannot be created.
std::string DeviceFolder(const std::string& unique_device_id);
