#include "utility/module/sms/sms_date_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

namespace {

// Sets the process's time zone for one test and puts the old one back.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (old_.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", old_.c_str(), 1);
    }
    tzset();
  }

 private:
  std::string old_;
};

constexpr int64_t kAprilSixteenth2020 = 608734769;  // 2020-04-16 12:59:29 UTC
constexpr int64_t kNanoseconds = 1000000000;

TEST(SmsDateText, SecondsAndNanosecondsOfTheSameInstantReadAlike) {
  TimeZone utc("UTC0");
  EXPECT_EQ(SmsDateText(kAprilSixteenth2020), "2020-04-16 12:59:29");
  EXPECT_EQ(SmsDateText(kAprilSixteenth2020 * kNanoseconds), "2020-04-16 12:59:29");
  EXPECT_EQ(SmsDateText(kAprilSixteenth2020 * kNanoseconds + 999999999), "2020-04-16 12:59:29");
}

TEST(SmsDateText, IsShownInLocalTimeWithSummerTime) {
  TimeZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(SmsDateText(kAprilSixteenth2020), "2020-04-16 14:59:29");
  EXPECT_EQ(SmsDateText(600000000 * kNanoseconds), "2020-01-06 11:40:00");  // winter: one hour
  TimeZone samoa("UTC+11");  // west of Greenwich: the reference instant is still in 2000 there
  EXPECT_EQ(SmsDateText(1), "2000-12-31 13:00:01");
}

TEST(SmsDateText, ZeroHasNoTextAndNegativeDatesShowTheReferenceInstant) {
  TimeZone utc("UTC0");
  EXPECT_EQ(SmsDateText(0), "");
  EXPECT_EQ(SmsDateText(-1), "2001-01-01 00:00:00");
  EXPECT_EQ(SmsDateText(std::numeric_limits<int64_t>::min()), "2001-01-01 00:00:00");
}

TEST(SmsDateText, SecondsUpToTheLastFourDigitYearAreSecondsAndLaterOnesNanoseconds) {
  TimeZone utc("UTC0");
  constexpr int64_t kLastSecondOf9999 = 252423993599;
  EXPECT_EQ(SmsDateText(kLastSecondOf9999), "9999-12-31 23:59:59");
  EXPECT_EQ(SmsDateText(kLastSecondOf9999 + 1), "2001-01-01 00:04:12");
  EXPECT_EQ(SmsDateText(std::numeric_limits<int64_t>::max()), "2293-04-11 23:47:16");
}

}  // namespace
