#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "libbasic/auto_release_pool.h"
#include "libbasic/bas_utility_app.h"
#include "libbasic/bas_utility_file.h"
#include "libbasic/bas_utility_string.h"
#include "libbasic/bas_utility_sys.h"

namespace bas {
namespace {

TEST(UtilityString, Utf16RoundTripKeepsEveryPlane) {
  std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // a, é, 中, 😀
  std::u16string wide = BASUtilityString::ConvertUtf8ToUnicode(text);
  EXPECT_EQ(wide, (std::u16string{u'a', u'\u00e9', u'\u4e2d', 0xD83D, 0xDE00}));
  EXPECT_EQ(BASUtilityString::ConvertUnicodeToUtf8(wide), text);
}

TEST(UtilityString, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(BASUtilityString::ConvertUtf8ToUnicode("x\xFFy"), (std::u16string{u'x', 0xFFFD, u'y'}));
  EXPECT_EQ(BASUtilityString::ConvertUtf8ToUnicode("\xC0\x80"), (std::u16string{0xFFFD, 0xFFFD}));  // overlong NUL
  EXPECT_EQ(BASUtilityString::ConvertUtf8ToUnicode("\xE4\xB8"), (std::u16string{0xFFFD, 0xFFFD}));   // cut short
  EXPECT_EQ(BASUtilityString::ConvertUnicodeToUtf8(std::u16string{0xD800}), "\xEF\xBF\xBD");  // lone surrogate
  EXPECT_EQ(BASUtilityString::ConvertUtf8ToAnsi("ok\xFF"), "ok\xEF\xBF\xBD");
}

TEST(UtilityString, CompareVersionIsNumericPerPart) {
  EXPECT_GT(BASUtilityString::CompareVersion("1.2", "1.1"), 0);
  EXPECT_LT(BASUtilityString::CompareVersion("1.9", "1.10"), 0);
  EXPECT_EQ(BASUtilityString::CompareVersion("1.2", "1.2.0"), 0);
  EXPECT_LT(BASUtilityString::CompareVersion("1.2", "1.2.1"), 0);
  EXPECT_EQ(BASUtilityString::CompareVersion("", "0"), 0);
}

TEST(UtilityFile, Sha1AndSize) {
  EXPECT_EQ(BASUtilityFile::CalcStringToSha1Hash("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  std::string path = testing::TempDir() + "/size_probe";
  std::ofstream(path) << "12345";
  EXPECT_EQ(BASUtilityFile::GetFileSize(path), 5);
  EXPECT_EQ(BASUtilityFile::GetFileSize(path + ".missing"), -1);
}

TEST(UtilitySys, DatesFrom2001AreShownInLocalTime) {
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(BASUtilitySys::Convert2001GMTtoDate(0), "2001-01-01 00:00:00");
  EXPECT_EQ(BASUtilitySys::Convert2001GMTtoDate(86400 + 3661), "2001-01-02 01:01:01");
  EXPECT_EQ(BASUtilitySys::TimeFormat(0, "%Y%m%d"), "19700101");
  EXPECT_EQ(BASUtilitySys::GetNowDateTime("%Y").size(), 4u);
}

TEST(UtilityApp, TagIdsAreFreshAndGivenIdsPassThrough) {
  EXPECT_EQ(BASUtilityApp::GetTagTaskId("42"), "42");
  std::string a = BASUtilityApp::GetTagTaskId(nullptr), b = BASUtilityApp::GetTagTaskId(nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind("tag-", 0), 0u);
}

TEST(AutoReleasePool, ReleasesNewestFirstAtTheEndOfItsScope) {
  std::string order;
  {
    BASScopedLocalPool outer;
    BASAutoReleasePool::AutoRelease([&] { order += "a"; });
    {
      BASScopedLocalPool inner;
      BASAutoReleasePool::AutoRelease([&] { order += "b"; });
      BASAutoReleasePool::AutoRelease([&] { order += "c"; });
      EXPECT_EQ(BASAutoReleasePool::PrintLeakObject(nullptr), 3u);
    }
    EXPECT_EQ(order, "cb");
  }
  EXPECT_EQ(order, "cba");
  EXPECT_EQ(BASAutoReleasePool::PrintLeakObject(nullptr), 0u);
  BASAutoReleasePool::AutoRelease([&] { order += "now"; });  // no pool open: released at once
  EXPECT_EQ(order, "cbanow");
}

}  // namespace
}  // namespace bas
