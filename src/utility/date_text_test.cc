// Reference dates and UTC times as local date texts, across zones, summer time and the edges of what can be shown.
#include "utility/date_text.h"

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

TEST(ReferenceDateText, SecondsAndNanosecondsOfOneInstantReadAlike) {
  TimeZone utc("UTC0");
  EXPECT_EQ(ReferenceDateText(kAprilSixteenth2020), "2020-04-16 12:59:29");
  EXPECT_EQ(ReferenceDateText(kAprilSixteenth2020 * kNanoseconds + 999999999), "2020-04-16 12:59:29");
}

TEST(ReferenceDateText, ZeroAndNegativeCountsAreTheReferenceInstant) {
  TimeZone utc("UTC0");
  EXPECT_EQ(ReferenceDateText(0), "2001-01-01 00:00:00");
  EXPECT_EQ(ReferenceDateText(-1), "2001-01-01 00:00:00");
  EXPECT_EQ(ReferenceDateText(std::numeric_limits<int64_t>::min()), "2001-01-01 00:00:00");
  TimeZone west("UTC+11");
  EXPECT_EQ(ReferenceDateText(0), "2000-12-31 13:00:00");
}

TEST(ReferenceDateText, TheLastFourDigitYearEndsTheSecondsReading) {
  TimeZone utc("UTC0");
  constexpr int64_t kLastSecondOf9999 = 252423993599;
  EXPECT_EQ(ReferenceDateText(kLastSecondOf9999), "9999-12-31 23:59:59");
  EXPECT_EQ(ReferenceDateText(kLastSecondOf9999 + 1), "2001-01-01 00:04:12");
  EXPECT_EQ(ReferenceDateText(std::numeric_limits<int64_t>::max()), "2293-04-11 23:47:16");
}

TEST(UtcTimeToLocalText, AUtcTimeIsShownInLocalTimeWithSummerTime) {
  TimeZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(UtcTimeToLocalText("2020-04-16T12:59:29Z"), "2020-04-16 14:59:29");
  EXPECT_EQ(UtcTimeToLocalText("2020-01-06T11:40:00Z"), "2020-01-06 12:40:00");
  EXPECT_EQ(UtcTimeToLocalText("2020-12-31T23:30:00Z"), "2021-01-01 00:30:00");
  EXPECT_EQ(UtcTimeToLocalText("2024-02-29T00:00:00Z"), "2024-02-29 01:00:00");
}

TEST(UtcTimeToLocalText, TextsOfAnotherShapeOrNoMomentGiveNothing) {
  TimeZone utc("UTC0");
  for (const char* text : {"2020-04-16 12:59:29Z", "2020-04-16T12:59:29", "2020-04-16T12:59:29Z ", "2020-4-16T12:59:29Z",
                           "x2020-04-16T12:59:29Z", "2020-13-01T00:00:00Z", "2020-00-10T00:00:00Z",
                           "2020-01-00T00:00:00Z", "2023-02-29T00:00:00Z", "2020-01-01T24:00:00Z", "", "+020-01-01T00:00:00Z"}) {
    EXPECT_FALSE(IsUtcTimeText(text) && !UtcTimeToLocalText(text).empty()) << text;
  }
  EXPECT_TRUE(IsUtcTimeText("2020-13-01T00:00:00Z"));  // the shape, not the moment
}

}  // namespace
