// HTTP downloads from addresses the helper does not control (a package's icon URL, the host's driver server).
//
// Every transfer is fenced in:
//   - http and https only, also for redirects, so no URL (and no server's redirect) makes the helper read a
//     local file or speak another protocol; at most `max_redirects` redirects;
//   - time: connecting (`connect_timeout_ms`), the whole transfer (`timeout_ms`), and a stall (no byte for
//     `stall_seconds`);
//   - size: at most `max_bytes`, checked against the announced length and again while receiving, so a large or
//     endless answer is cut off;
//   - an HTTP status of 400 or more is a failure, not a body.
// A file download is written to a new temporary file beside its target, hashed (MD5) as it is written, and given
// the target's name only when the transfer completed: a failure leaves no partial file and an existing target
// intact. The progress callback may stop a transfer by returning false.
//
// Thread safety: any thread, any number of transfers at once; libcurl is initialised once for the process on
// first use.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct HttpLimits {
  long connect_timeout_ms = 5000;
  long timeout_ms = 60000;
  long stall_seconds = 30;
  int64_t max_bytes = 64 * 1024 * 1024;
  long max_redirects = 3;
};

enum class HttpCode : int {
  kOk = 0,
  kRefusedUrl = 1,     // not an http or https URL
  kFailed = 2,         // the connection or the server failed, or the answer ended early
  kTooLarge = 3,       // more than max_bytes
  kTimedOut = 4,       // a time limit or the stall limit
  kHttpError = 5,      // status 400 or more
  kCannotWrite = 6,    // the local file could not be made, written or renamed
  kStopped = 7,        // the progress callback asked to stop
  kTooManyRedirects = 8,
};

// Bytes received so far and the announced total (-1 when unknown); false stops the transfer.
using HttpProgress = std::function<bool(int64_t received, int64_t total)>;

struct HttpOutcome {
  HttpCode code = HttpCode::kFailed;
  std::string reason;  // for the log, when code is not kOk
  int64_t bytes = 0;   // bytes received
  std::string md5;     // file downloads: MD5 of the file written, lower-case hexadecimal
};

HttpOutcome DownloadToMemory(const std::string& url, std::string* body, const HttpLimits& limits = {},
                             const HttpProgress& progress = {});
HttpOutcome DownloadToFile(const std::string& url, const std::string& path, const HttpLimits& limits = {},
                           const HttpProgress& progress = {});
// The size the server announces for a HEAD request, -1 when it announces none.
HttpOutcome QuerySize(const std::string& url, int64_t* size, const HttpLimits& limits = {});

// True for an http or https URL libcurl can parse; otherwise false with a reason.
bool IsWebUrl(const std::string& url, std::string* reason);
