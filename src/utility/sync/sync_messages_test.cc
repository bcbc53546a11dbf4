// The computer anchor's zone rule and the fixed bodies, which the device reads byte for byte.
#include "utility/sync/sync_messages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "iOSAPI/plist_message.h"

namespace {

class ZoneTest : public ::testing::Test {
 protected:
  void InZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
  }
};

// 2024-03-03 06:05:09 UTC.
constexpr std::time_t kMoment = 1709445909;

TEST_F(ZoneTest, TheAnchorIsLocalTimeWithTheStandardOffsetInWholeHours) {
  InZone("XST-8");
  EXPECT_EQ(ComputerAnchorText(kMoment), "2024-03-03 14:05:09 +0800");
  InZone("EST5");
  EXPECT_EQ(ComputerAnchorText(kMoment), "2024-03-03 01:05:09 -0500");
  // Half hours are truncated toward zero and written as "00".
  InZone("IST-5:30");
  EXPECT_EQ(ComputerAnchorText(kMoment), "2024-03-03 11:35:09 +0500");
  InZone("NST3:30");
  EXPECT_EQ(ComputerAnchorText(kMoment), "2024-03-03 02:35:09 -0300");
  InZone("UTC0");
  EXPECT_EQ(ComputerAnchorText(kMoment), "2024-03-03 06:05:09 +0000");
}

TEST_F(ZoneTest, DaylightSavingMovesTheClockButNotTheOffset) {
  // Central Europe, summer time from the last Sunday of March: 2024-07-01 10:00:00 UTC is 12:00 local.
  InZone("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(ComputerAnchorText(1719828000), "2024-07-01 12:00:00 +0100");
}

TEST(SyncMessages, TheSyncRequestCarriesEveryValueInOrder) {
  std::string xml =
      SyncRequestMessage("com.apple.Contacts", "Contacts-Device-Anchor", "2024-03-03 14:05:09 +0800", 106);
  EXPECT_NE(xml.find("<plist version=\"1.0\"><array><string>SDMessageSyncDataClassWithDevice</string><string>"
                     "com.apple.Contacts</string><string>Contacts-Device-Anchor</string><string>2024-03-03 14:05:09 "
                     "+0800</string><integer>106</integer><string>___EmptyParameterString___</string></array></plist>"),
            std::string::npos);
  std::optional<std::string> binary = MakeMessage(xml);
  ASSERT_TRUE(binary);
}

TEST(SyncMessages, HostValuesCannotChangeAMessagesStructure) {
  std::string id = "a</key><string>x</string></dict><key>b & 'c' \"d\"";
  std::optional<std::string> binary = MakeMessage(DeleteRecordMessage("com.apple.Contacts", id));
  ASSERT_TRUE(binary);
  PlistValue decoded;
  ASSERT_TRUE(ParseMessage(binary->data(), binary->size(), &decoded));
  ASSERT_EQ(decoded.array().size(), 3u);
  const PlistValue& changes = decoded.array()[2];
  ASSERT_EQ(changes.dict().size(), 1u);
  EXPECT_EQ(changes.dict().begin()->first, id);
  EXPECT_EQ(changes.dict().begin()->second.Bytes(), "___EmptyParameterString___");
}

TEST(SyncMessages, AnIdentifierLongerThanAnyFixedBufferIsSentWhole) {
  std::string id(10000, 'x');
  std::optional<std::string> binary = MakeMessage(DeleteRecordMessage("com.apple.Bookmarks", id));
  ASSERT_TRUE(binary);
  PlistValue decoded;
  ASSERT_TRUE(ParseMessage(binary->data(), binary->size(), &decoded));
  EXPECT_EQ(decoded.array()[2].dict().begin()->first, id);
}

}  // namespace

namespace {

TEST(SyncMessages, OnlyWholeElementTextsAreIdentifiers) {
  std::string xml =
      "<dict><key>n1</key><dict><key>value</key><string>+1 555 1</string><key>contact</key><array>"
      "<string>1</string><string>1</string></array></dict></dict>";
  EXPECT_EQ(ReplaceIdentifier(xml, "1", "812"),
            "<dict><key>n1</key><dict><key>value</key><string>+1 555 1</string><key>contact</key><array>"
            "<string>812</string><string>812</string></array></dict></dict>");
  // Identifiers are compared in their escaped form, as they stand in the text.
  EXPECT_EQ(ReplaceIdentifier("<string>a&amp;b</string>", "a&b", "<9>"), "<string>&lt;9&gt;</string>");
}

}  // namespace
