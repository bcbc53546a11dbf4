// For the backup fuzz targets: the property every local path a device's bytes lead to must have.
//
// Thread safety: a pure function.
#pragma once

#include <cstdlib>
#include <string>

// Aborts unless `local` is `folder` (which ends in "/") or lies below it, with no empty, "." or ".." component
// and no backslash.
inline void AbortUnlessConfined(const std::string& folder, const std::string& local) {
  if (local == folder.substr(0, folder.size() - 1)) return;
  if (local.compare(0, folder.size(), folder) != 0) std::abort();
  size_t start = folder.size();
  while (start <= local.size()) {
    size_t end = local.find('/', start);
    std::string part = local.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string::npos) std::abort();
    if (end == std::string::npos) break;
    start = end + 1;
  }
}
