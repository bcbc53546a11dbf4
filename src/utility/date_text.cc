#include "utility/date_text.h"

#include <cstdio>
#include <ctime>
#include <limits>

#include "libbasic/bas_utility_sys.h"

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr int kLastShownYear = 9999;  // the text has four year digits

// The local text of `unix_seconds`, or false when it has no four-digit-year local date.
bool LocalText(int64_t unix_seconds, std::string* text) {
  if (unix_seconds < std::numeric_limits<std::time_t>::min() || unix_seconds > std::numeric_limits<std::time_t>::max()) {
    return false;
  }
  std::time_t instant = static_cast<std::time_t>(unix_seconds);
  std::tm local{};
  if (localtime_r(&instant, &local) == nullptr || local.tm_year > kLastShownYear - 1900) return false;
  char buffer[80];
  int length = std::snprintf(buffer, sizeof buffer, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d", local.tm_year + 1900,
                             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  text->assign(buffer, static_cast<size_t>(length));
  return true;
}

bool ReferenceText(int64_t seconds, std::string* text) {
  constexpr int64_t kOffset = bas::BASUtilitySys::kSecondsFrom1970To2001;
  return seconds <= std::numeric_limits<int64_t>::max() - kOffset && LocalText(seconds + kOffset, text);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Number(std::string_view text, size_t position, size_t digits) {
  int value = 0;
  for (size_t i = position; i < position + digits; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

}  // namespace

std::string ReferenceDateText(int64_t count) {
  if (count < 0) count = 0;
  std::string text;
  if (ReferenceText(count, &text) || ReferenceText(count / kNanosecondsPerSecond, &text)) return text;
  return std::string();
}

bool IsUtcTimeText(std::string_view text) {
  constexpr std::string_view kShape = "0000-00-00T00:00:00Z";
  if (text.size() != kShape.size()) return false;
  for (size_t i = 0; i < kShape.size(); ++i) {
    if (kShape[i] == '0' ? !IsDigit(text[i]) : text[i] != kShape[i]) return false;
  }
  return true;
}

std::string UtcTimeToLocalText(std::string_view text) {
  if (!IsUtcTimeText(text)) return std::string();
  std::tm utc{};
  utc.tm_year = Number(text, 0, 4) - 1900;
  utc.tm_mon = Number(text, 5, 2) - 1;
  utc.tm_mday = Number(text, 8, 2);
  utc.tm_hour = Number(text, 11, 2);
  utc.tm_min = Number(text, 14, 2);
  utc.tm_sec = Number(text, 17, 2);
  // timegm would roll month 13 into the next year; such a text names no moment.
  if (utc.tm_mon > 11 || utc.tm_mday < 1 || utc.tm_mday > 31 || utc.tm_hour > 23 || utc.tm_min > 59 ||
      utc.tm_sec > 60) {
    return std::string();
  }
  int month = utc.tm_mon;
  std::time_t instant = timegm(&utc);
  if (utc.tm_mon != month) return std::string();  // a day past the month's end (February 30th)
  std::string local;
  return LocalText(static_cast<int64_t>(instant), &local) ? local : std::string();
}
