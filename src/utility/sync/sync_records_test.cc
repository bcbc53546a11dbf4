// Records out of change batches and the texts of their fields, in a zone eight hours east of UTC.
#include "utility/sync/sync_records.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

class SyncRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "XST-8", 1);
    tzset();
  }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
  }
};

TEST_F(SyncRecordsTest, RecordsAreTheDictionaryMembersOfEveryDictionaryElement) {
  PlistValue contact = PlistValue::MakeDict({{kRecordEntityField, PlistValue::String("com.apple.contacts.Contact")}});
  DeviceLinkMessage batch;
  batch.value = PlistValue::MakeArray(
      {PlistValue::String("SDMessageProcessChanges"), PlistValue::String("com.apple.Contacts"),
       PlistValue::MakeDict({{"1", contact}, {"2", contact}, {"x", PlistValue::String("not a record")}}),
       PlistValue::Boolean(false), PlistValue::MakeDict({{"SyncDeviceLinkEntityNamesKey", PlistValue::MakeArray()}})});
  std::vector<std::string> ids;
  ForEachRecord(batch, [&](const std::string& id, const PlistValue& record) {
    ids.push_back(id);
    EXPECT_EQ(RecordEntity(record), "com.apple.contacts.Contact");
  });
  EXPECT_EQ(ids, (std::vector<std::string>{"1", "2"}));
}

TEST_F(SyncRecordsTest, UtcTimesAndDatesBecomeLocalTextOtherStringsStay) {
  EXPECT_EQ(FieldText(PlistValue::String("1990-05-01T00:00:00Z")), "1990-05-01 08:00:00");
  EXPECT_EQ(FieldText(PlistValue::Date("1990-05-01T00:00:00Z")), "1990-05-01 08:00:00");
  EXPECT_EQ(FieldText(PlistValue::String("1990-13-01T00:00:00Z")), "");
  // Only a whole UTC time is a date: a sentence that quotes one is left as it was written.
  EXPECT_EQ(FieldText(PlistValue::String("met 1990-05-01T00:00:00Z")), "met 1990-05-01T00:00:00Z");
  EXPECT_EQ(FieldText(PlistValue::Integer(-42)), "-42");
  EXPECT_FALSE(FieldText(PlistValue::Boolean(true)));
  EXPECT_FALSE(FieldText(PlistValue::MakeArray()));
}

TEST_F(SyncRecordsTest, RawTextsKeepTheDevicesValues) {
  EXPECT_EQ(RawFieldText(nullptr), "");
  PlistValue date = PlistValue::Date("2024-03-03T06:00:00Z");
  EXPECT_EQ(RawFieldText(&date), "2024-03-03T06:00:00Z");
  PlistValue flag = PlistValue::Boolean(true);
  EXPECT_EQ(RawFieldText(&flag), "true");
  PlistValue real = PlistValue::Real(0.5);
  EXPECT_EQ(RawFieldText(&real), "0.5");
}

}  // namespace
