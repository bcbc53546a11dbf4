#include "utility/module/sms/sms_date_text.h"

#include <cstdio>
#include <ctime>
#include <limits>

#include "libbasic/bas_utility_sys.h"

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;
// The date text has room for four year digits. A nanosecond date read as seconds lands beyond this year (any
// nanosecond date later than about four minutes past the reference instant does), so this is how a nanosecond
// date is told from a second date; localtime_r alone would accept years up to about two billion.
constexpr int kLastShownYear = 9999;

// The text of `seconds` past the reference instant, or false when the instant cannot be shown.
bool LocalDateText(int64_t seconds, std::string* text) {
  constexpr int64_t kOffset = bas::BASUtilitySys::kSecondsFrom1970To2001;
  if (seconds > std::numeric_limits<int64_t>::max() - kOffset) return false;
  std::time_t instant = static_cast<std::time_t>(seconds + kOffset);
  std::tm local{};
  if (localtime_r(&instant, &local) == nullptr) return false;
  if (local.tm_year > kLastShownYear - 1900) return false;
  char buffer[80];
  int length = std::snprintf(buffer, sizeof buffer, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d", local.tm_year + 1900,
                             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  text->assign(buffer, static_cast<size_t>(length));
  return true;
}

}  // namespace

std::string SmsDateText(int64_t date) {
  if (date == 0) return std::string();
  if (date < 0) date = 0;
  std::string text;
  if (LocalDateText(date, &text) || LocalDateText(date / kNanosecondsPerSecond, &text)) return text;
  return std::string();
}
