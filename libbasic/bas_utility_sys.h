// Time helpers: formatting the current time, a time in seconds, and Apple's reference dates.
//
// Apple's reference date is 2001-01-01 00:00:00 UTC; device databases count seconds from it.
//
// Thread safety: pure functions (they use the reentrant time conversions).
#pragma once

#include <cstdint>
#include <string>

namespace bas {

class BASUtilitySys {
 public:
  static constexpr int64_t kSecondsFrom1970To2001 = 978307200;

  // The current local time formatted with strftime (for example "%Y%m%d").
  static std::string GetNowDateTime(const char* format);
  // `seconds` since 1970 in local time, formatted with strftime; empty when the time cannot be converted.
  static std::string TimeFormat(int64_t seconds, const char* format);
  // Seconds since 2001-01-01 GMT as local "YYYY-MM-DD HH:MM:SS"; empty when the time cannot be converted.
  static std::string Convert2001GMTtoDate(int64_t seconds);
};

}  // namespace bas
