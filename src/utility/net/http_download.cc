#include "utility/net/http_download.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/platform.h"
#include "utility/zeb_utility.h"

namespace {

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlEasyCloser {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct CurlUrlCloser {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Where received bytes go; returning false stops the transfer.
struct Transfer {
  std::function<bool(const char* data, size_t length)> write;
  const HttpProgress* progress = nullptr;
  int64_t limit = 0;
  int64_t received = 0;
  bool too_large = false;
  bool write_failed = false;
  bool stopped = false;
};

size_t OnData(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  size_t length = size * count;
  if (transfer->received + static_cast<int64_t>(length) > transfer->limit) {
    transfer->too_large = true;
    return 0;  // less than offered: libcurl stops
  }
  if (!transfer->write(data, length)) {
    transfer->write_failed = true;
    return 0;
  }
  transfer->received += static_cast<int64_t>(length);
  return length;
}

int OnProgress(void* user, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  if (transfer->progress == nullptr || !*transfer->progress) return 0;
  if ((*transfer->progress)(static_cast<int64_t>(received), total > 0 ? static_cast<int64_t>(total) : -1)) return 0;
  transfer->stopped = true;
  return 1;
}

HttpOutcome Fail(HttpCode code, std::string reason) {
  HttpOutcome outcome;
  outcome.code = code;
  outcome.reason = std::move(reason);
  return outcome;
}

HttpCode CodeOf(CURLcode result, const Transfer& transfer) {
  if (transfer.too_large || result == CURLE_FILESIZE_EXCEEDED) return HttpCode::kTooLarge;
  if (transfer.write_failed) return HttpCode::kCannotWrite;
  if (transfer.stopped) return HttpCode::kStopped;
  switch (result) {
    case CURLE_OPERATION_TIMEDOUT: return HttpCode::kTimedOut;
    case CURLE_HTTP_RETURNED_ERROR: return HttpCode::kHttpError;
    case CURLE_TOO_MANY_REDIRECTS: return HttpCode::kTooManyRedirects;
    case CURLE_UNSUPPORTED_PROTOCOL: return HttpCode::kRefusedUrl;
    default: return HttpCode::kFailed;
  }
}

// One request with the fences of the header; `head` asks for the headers only.
HttpOutcome Perform(const std::string& url, const HttpLimits& limits, Transfer* transfer, bool head,
                    int64_t* announced = nullptr) {
  InitCurlOnce();
  std::string reason;
  if (!IsWebUrl(url, &reason)) return Fail(HttpCode::kRefusedUrl, reason);
  std::unique_ptr<CURL, CurlEasyCloser> curl(curl_easy_init());
  if (!curl) return Fail(HttpCode::kFailed, "libcurl could not start");
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, limits.max_redirects);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits.connect_timeout_ms);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.timeout_ms);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, limits.stall_seconds);
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.max_bytes));
  curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // worker threads: no SIGALRM for name look-ups
  curl_easy_setopt(c, CURLOPT_NOBODY, head ? 1L : 0L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnData);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, transfer);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, transfer);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  transfer->limit = limits.max_bytes;
  CURLcode result = curl_easy_perform(c);
  HttpOutcome outcome;
  outcome.bytes = transfer->received;
  if (result != CURLE_OK) {
    outcome.code = CodeOf(result, *transfer);
    outcome.reason = curl_easy_strerror(result);
    return outcome;
  }
  if (announced != nullptr) {
    curl_off_t length = -1;
    curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    *announced = length;
  }
  outcome.code = HttpCode::kOk;
  return outcome;
}

}  // namespace

bool IsWebUrl(const std::string& url, std::string* reason) {
  std::unique_ptr<CURLU, CurlUrlCloser> handle(curl_url());
  char* scheme = nullptr;
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
      curl_url_get(handle.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) {
    *reason = "not a URL";
    return false;
  }
  std::string text = scheme;
  curl_free(scheme);
  if (text == "http" || text == "https") return true;
  *reason = "scheme " + text + " is not allowed";
  return false;
}

HttpOutcome DownloadToMemory(const std::string& url, std::string* body, const HttpLimits& limits,
                             const HttpProgress& progress) {
  body->clear();
  Transfer transfer;
  transfer.progress = &progress;
  transfer.write = [body](const char* data, size_t length) {
    body->append(data, length);
    return true;
  };
  HttpOutcome outcome = Perform(url, limits, &transfer, false);
  if (outcome.code != HttpCode::kOk) body->clear();
  return outcome;
}

HttpOutcome DownloadToFile(const std::string& url, const std::string& path, const HttpLimits& limits,
                           const HttpProgress& progress) {
  std::string reason;
  if (!IsWebUrl(url, &reason)) return Fail(HttpCode::kRefusedUrl, reason);
  std::string temporary = platform::CreateTemporaryBeside(path);
  if (temporary.empty()) return Fail(HttpCode::kCannotWrite, "cannot create a file beside " + path);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(temporary.c_str(), "wb"));
  Md5Stream md5;
  Transfer transfer;
  transfer.progress = &progress;
  transfer.write = [&file, &md5](const char* data, size_t length) {
    md5.Update(std::string_view(data, length));
    return std::fwrite(data, 1, length, file.get()) == length;
  };
  HttpOutcome outcome = file ? Perform(url, limits, &transfer, false)
                             : Fail(HttpCode::kCannotWrite, "cannot open " + temporary);
  bool closed = file && std::fclose(file.release()) == 0;
  if (outcome.code == HttpCode::kOk && !closed) outcome = Fail(HttpCode::kCannotWrite, "cannot write " + temporary);
  if (outcome.code == HttpCode::kOk && !platform::ReplaceFile(temporary, path)) {
    outcome = Fail(HttpCode::kCannotWrite, "cannot rename " + temporary + " to " + path);
  }
  if (outcome.code != HttpCode::kOk) {
    platform::RemoveTree(temporary);
    return outcome;
  }
  outcome.md5 = md5.Finish();
  return outcome;
}

HttpOutcome QuerySize(const std::string& url, int64_t* size, const HttpLimits& limits) {
  *size = -1;
  Transfer transfer;
  transfer.write = [](const char*, size_t) { return true; };
  return Perform(url, limits, &transfer, true, size);
}
