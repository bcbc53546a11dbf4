// The application module's browse and uninstall as entry points for other modules (erasing a device empties it
// of user applications the way the list and uninstall commands see them).
//
// Thread safety: one call per proxy connection at a time; any thread.
#pragma once

#include <string>
#include <vector>

#include "utility/ios/zeb_device_service.h"

// The bundle identifiers of the installed user applications, in the device's order; entries without one are
// skipped. False when the browse ended before the device said it was complete (what arrived is kept).
bool BrowseUserApplications(const ZEBDeviceService& proxy, std::vector<std::string>* bundle_ids);

// Asks the device to uninstall one application and waits until it has finished: true when it says complete.
bool UninstallApplication(const ZEBDeviceService& proxy, const std::string& bundle_id);
