// The list filter: which library items the host is shown. An item stays only when its file is on the device.
//
// The path checks come first and cost nothing: an empty path, "/" alone, a path without "/" or without a "."
// after its last "/" is dropped (the library keeps such rows for cloud items that were never downloaded). Every
// remaining item costs one file-information request, and stays only when the device reports a regular file.
// Those requests dominate a listing on a real device (about a millisecond each over USB), so the check is handed
// all paths at once: a caller may spread them over several file-service connections.
//
// Thread safety: FilterItems runs on the calling thread; the check it is given decides its own threads.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "utility/module/media/media_records.h"

namespace media {

// One answer per path, in order: true when the device has a regular file there.
using RegularFileCheck = std::function<std::vector<bool>(const std::vector<std::string>& paths)>;

// True when the path can name a media file at all (the checks before any device request).
bool MayNameMediaFile(const std::string& path);

// Keeps, in order, the items whose path passes MayNameMediaFile and the check.
void FilterItems(std::vector<MediaItem>* items, const RegularFileCheck& check);

}  // namespace media
