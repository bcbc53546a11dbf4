#include "utility/module/app/app_icon_download.h"

#include "utility/net/http_download.h"

namespace {

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr std::string_view kJpegSignature("\xFF\xD8\xFF", 3);

}  // namespace

bool IsImageData(std::string_view bytes) {
  return bytes.starts_with(kPngSignature) || bytes.starts_with(kJpegSignature);
}

bool DownloadStoreIcon(const std::string& url, std::string* image, std::string* reason,
                       const IconDownloadLimits& limits) {
  HttpLimits http{.connect_timeout_ms = 5000,
                  .timeout_ms = limits.timeout_ms,
                  .max_bytes = static_cast<int64_t>(limits.max_bytes),
                  .max_redirects = 3};
  HttpOutcome outcome = DownloadToMemory(url, image, http);
  if (outcome.code != HttpCode::kOk) {
    *reason = outcome.reason;
    return false;
  }
  if (!IsImageData(*image)) {
    *reason = "the answer is no PNG or JPEG image";
    image->clear();
    return false;
  }
  return true;
}
