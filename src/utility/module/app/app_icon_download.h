// Downloading a package's store icon ("softwareIcon57x57URL") before it is installed.
//
// The URL comes from the package, which is untrusted, so the download is fenced in (utility/net/http_download.h):
//   - only http and https URLs, also for redirects (neither the package nor a web server can make the helper
//     read a local file), at most 3 redirects;
//   - the whole transfer is limited in time (connect 5 s, all of it IconDownloadLimits::timeout_ms) and size
//     (max_bytes, checked while receiving, so a large or endless answer is cut off);
//   - the answer must be a PNG or JPEG image (by its signature), so a URL naming some other web resource hands
//     the host nothing.
// A failed download is not an error of the install; the caller logs it and goes on.
//
// Thread safety: any thread; libcurl is initialised once for the process on first use.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct IconDownloadLimits {
  long timeout_ms = 15000;
  size_t max_bytes = 2 * 1024 * 1024;
};

// False with a reason when the URL is refused, the transfer fails or the answer is no image.
bool DownloadStoreIcon(const std::string& url, std::string* image, std::string* reason,
                       const IconDownloadLimits& limits = {});

// True when the bytes start with the PNG or the JPEG signature.
bool IsImageData(std::string_view bytes);
