// Downloading the driver packages from the host's server: each package has an MD5 companion (the package URL
// + ".txt", holding the lower-case hexadecimal MD5), and a package counts only once its file's MD5 is that one.
//
// For each package in order: the companion's size is asked for (none or 0: the package is passed over), the
// companion is fetched (a failure, or a text that is not an MD5, ends the run), a package already in the folder
// whose MD5 matches is taken as it is, otherwise the package is downloaded to a temporary file beside its place
// with progress, and kept only when its MD5 matches; a mismatch removes it and ends the run, so no later run
// finds a file it could trust. A stop (polled between packages and during each transfer) ends the run too. The
// result lists the verified packages' local paths, in order.
//
// Thread safety: one run per call; the callbacks run on the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "utility/net/http_download.h"

// The packages, relative to the base URL.
inline constexpr const char* kDriverPackages[] = {"x64/libusbmuxd6.deb", "x64/libimobiledevice6.deb",
                                                  "x64/usbmuxd.deb"};

struct DriverProgress {
  int64_t total = 0;  // bytes of the current package (0 while unknown)
  int64_t step = 0;   // bytes received so far
  int index = 0;      // 1-based
  int count = 0;
};

struct DriverDownload {
  std::string base_url;
  std::string folder;  // where the packages are kept, ending in "/"
  HttpLimits companion_limits;
  HttpLimits package_limits;
  std::function<bool()> aborted;
  std::function<void(const DriverProgress&)> progress;
};

// The package URLs under `base_url` ("/" is added when it does not end with one).
std::vector<std::string> DriverPackageUrls(std::string base_url);

std::vector<std::string> DownloadDriverPackages(const DriverDownload& request);

// The MD5 of a local file, lower-case hexadecimal; empty when it cannot be read.
std::string FileMd5(const std::string& path);
