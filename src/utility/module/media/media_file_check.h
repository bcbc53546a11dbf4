// The list filter's device side: one file-information request per path on the device's file service.
//
// A device answers the requests of one file-service connection one after another, about a millisecond each over
// USB, so a library of 100,000 tracks would take minutes on one connection. A long list is therefore spread over
// several connections of its own (kFileCheckLanes at most; fewer when the device refuses more), each asking
// about the next path not yet taken; a short list uses the shared connection alone.
//
// Thread safety: the check may be called from any thread; it runs its lanes on threads of its own and joins them
// before it returns.
#pragma once

#include <functional>

#include "utility/ios/zeb_device_connection.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/media/media_filter.h"

namespace media {

inline constexpr int kFileCheckLanes = 8;
// Below this many paths the extra connections cost more than they save.
inline constexpr size_t kPathsPerExtraLane = 128;

// Asks the device about each path on `shared`, the file service started from `device`, and on connections of its
// own started from `device`; stops asking (answering false for the rest) once `stop` says so. `lanes` caps the
// number of connections (1: the shared one only).
RegularFileCheck DeviceRegularFileCheck(ZEBDeviceConnectionPtr device, ZEBDeviceServicePtr shared,
                                        std::function<bool()> stop, int lanes = kFileCheckLanes);

// True while the device still answers on `afc`: a device pulled during the checks answered every later request
// with a failure, which the checks cannot tell from a missing file.
bool DeviceStillAnswers(const ZEBDeviceService& afc);

}  // namespace media
