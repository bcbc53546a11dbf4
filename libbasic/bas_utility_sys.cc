#include "libbasic/bas_utility_sys.h"

#include <ctime>
#include <limits>

namespace bas {

std::string BASUtilitySys::GetNowDateTime(const char* format) {
  return TimeFormat(static_cast<int64_t>(std::time(nullptr)), format);
}

std::string BASUtilitySys::TimeFormat(int64_t seconds, const char* format) {
  if (seconds < std::numeric_limits<time_t>::min() || seconds > std::numeric_limits<time_t>::max()) return {};
  time_t t = static_cast<time_t>(seconds);
  struct tm local {};
  if (localtime_r(&t, &local) == nullptr) return {};
  char buffer[256];
  size_t n = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, n);
}

std::string BASUtilitySys::Convert2001GMTtoDate(int64_t seconds) {
  if (seconds > std::numeric_limits<int64_t>::max() - kSecondsFrom1970To2001) return {};
  return TimeFormat(seconds + kSecondsFrom1970To2001, "%Y-%m-%d %H:%M:%S");
}

}  // namespace bas
