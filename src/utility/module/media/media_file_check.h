// The list filter's device side: one file-information request per path on the device's file service.
//
// Thread safety: the check may be called from any thread; the AFC connection serialises its own requests.
#pragma once

#include <functional>

#include "iOSAPI/mobile_device.h"
#include "utility/module/media/media_filter.h"

namespace media {

// Asks `afc` about each path in turn; stops asking (answering false for the rest) once `stop` says so.
RegularFileCheck DeviceRegularFileCheck(AFCConnectionRef afc, std::function<bool()> stop);

}  // namespace media
