#include "utility/module/app/app_icon_download.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <memory>
#include <mutex>

namespace {

constexpr long kConnectTimeoutMs = 5000;
constexpr long kMaxRedirects = 3;
constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr std::string_view kJpegSignature("\xFF\xD8\xFF", 3);

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

struct Sink {
  std::string* bytes;
  size_t limit;
};

size_t Append(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  size_t length = size * count;
  // Returning less than was offered makes libcurl stop the transfer.
  if (sink->bytes->size() + length > sink->limit) return 0;
  sink->bytes->append(data, length);
  return length;
}

// The URL's scheme (lower case); false when libcurl cannot parse it.
bool UrlScheme(const std::string& url, std::string* scheme) {
  std::unique_ptr<CURLU, CurlUrlCloser> handle(curl_url());
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
  char* part = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_SCHEME, &part, 0) != CURLUE_OK) return false;
  *scheme = part;
  curl_free(part);
  return true;
}

// Only web addresses: a package must not make the helper read local files.
bool IsAllowedUrl(const std::string& url, std::string* reason) {
  std::string scheme;
  if (!UrlScheme(url, &scheme)) {
    *reason = "not a URL";
    return false;
  }
  if (scheme == "http" || scheme == "https") return true;
  *reason = "scheme " + scheme + " is not allowed";
  return false;
}

}  // namespace

bool IsImageData(std::string_view bytes) {
  return bytes.starts_with(kPngSignature) || bytes.starts_with(kJpegSignature);
}

bool DownloadStoreIcon(const std::string& url, std::string* image, std::string* reason,
                       const IconDownloadLimits& limits) {
  image->clear();
  InitCurlOnce();
  if (!IsAllowedUrl(url, reason)) return false;
  std::unique_ptr<CURL, CurlEasyCloser> curl(curl_easy_init());
  if (!curl) {
    *reason = "libcurl could not start";
    return false;
  }
  Sink sink{image, limits.max_bytes};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.timeout_ms);
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.max_bytes));
  curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // worker threads: no SIGALRM for name look-ups
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Append);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  CURLcode result = curl_easy_perform(c);
  if (result != CURLE_OK) {
    *reason = curl_easy_strerror(result);
    image->clear();
    return false;
  }
  if (!IsImageData(*image)) {
    *reason = "the answer is no PNG or JPEG image";
    image->clear();
    return false;
  }
  return true;
}
