// Listing contacts (100) through the real process: groups as 101 then contacts as 100, 100 per report, details
// attached, dates as local text eight hours east of UTC, every batch of the device read whatever its size.
#include <set>

#include "sync_scenario.h"

namespace e2e {
namespace {

using devicesim::Value;

constexpr char kContacts[] = "com.apple.Contacts";

class ContactsRead : public SyncScenario {};

// 250 contacts, each with a phone number, and two groups, in batches of 40 (seven batches and a short one).
TEST_F(ContactsRead, TwoHundredFiftyContactsComeAsOneHundredOneHundredAndFifty) {
  phone_.SetSyncBatchSize(40);
  phone_.AddSyncRecord(kContacts, "g1",
                       SyncRecord("com.apple.contacts.Group", {{"name", "Family"}, {"members", Links({"c1", "c2"})}}));
  phone_.AddSyncRecord(kContacts, "g2",
                       SyncRecord("com.apple.contacts.Group", {{"name", "Work"}, {"members", Links({})}}));
  for (int i = 1; i <= 250; ++i) {
    std::string id = "c" + std::to_string(i);
    phone_.AddSyncRecord(kContacts, id,
                         SyncRecord("com.apple.contacts.Contact", {{"first name", "P" + std::to_string(i)}}));
    phone_.AddSyncRecord(kContacts, "p" + std::to_string(i),
                         SyncRecord("com.apple.contacts.Phone Number", {{"value", "+1 555 " + std::to_string(i)},
                                                                        {"type", "mobile"},
                                                                        {"contact", Value::Array({Value(id)})}}));
  }
  ASSERT_TRUE(Start());
  SyncRun run = Command(100);
  EXPECT_EQ(run.code(), 0);

  std::vector<hostlink::Report> group_count = run.Of(101, 1), groups = run.Of(101, 2);
  ASSERT_EQ(group_count.size(), 1u);
  EXPECT_EQ(group_count[0].info, R"({"Count":2})");
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(
      groups[0].data,
      R"({"g1":{"com.apple.syncservices.RecordEntityName":"com.apple.contacts.Group","name":"Family","members":["c1","c2"]},)"
      R"("g2":{"com.apple.syncservices.RecordEntityName":"com.apple.contacts.Group","name":"Work","members":[]}})");

  std::vector<hostlink::Report> count = run.Of(100, 1), contacts = run.Of(100, 2);
  ASSERT_EQ(count.size(), 1u);
  EXPECT_EQ(count[0].info, R"({"Count":250})");
  ASSERT_EQ(contacts.size(), 3u);
  std::set<std::string> seen;
  size_t sizes[3] = {100, 100, 50};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(contacts[i].info, R"({"Count":250})");
    rapidjson::Document page = ParseJson(contacts[i].data);
    ASSERT_TRUE(page.IsObject());
    EXPECT_EQ(page.MemberCount(), sizes[i]);
    for (auto& member : page.GetObject()) {
      seen.insert(member.name.GetString());
      // Each contact carries its one phone number, its link left out.
      const rapidjson::Value& numbers = member.value["com.apple.contacts.Phone Number"];
      ASSERT_EQ(numbers.Size(), 1u);
      EXPECT_FALSE(numbers[0].HasMember("contact"));
    }
  }
  EXPECT_EQ(seen.size(), 250u);
  EXPECT_EQ(ParseJson(contacts[0].data)["c1"]["com.apple.contacts.Phone Number"][0]["id"], "p1");
  // Every batch was acknowledged, the last answered by the device's readiness.
  EXPECT_EQ(CountLog({.channel = "com.apple.mobilesync", .name = "SDMessageAcknowledgeChangesFromDevice"}),
            (252u + 250u + 39u) / 40u);
  EXPECT_EQ(CountLog({.channel = "com.apple.mobilesync", .name = "SDMessageFinishSessionOnDevice"}), 1u);
}

TEST_F(ContactsRead, DatesAndUtcTimesAreShownInLocalTimeEightHoursEast) {
  // 1990-05-01T00:00:00Z as a date and as text; a sentence quoting a time stays as it is.
  phone_.AddSyncRecord(kContacts, "1",
                       SyncRecord("com.apple.contacts.Contact", {{"first name", "Amelia"},
                                                                 {"birthday", Value::Date(641520000)},
                                                                 {"modified", "1990-05-01T00:00:00Z"},
                                                                 {"notes", "seen 1990-05-01T00:00:00Z"},
                                                                 {"rank", Value(int64_t{7})},
                                                                 {"photo", Value::Data("\x89PNG")},
                                                                 {"flag", true}}));
  phone_.AddSyncRecord(
      kContacts, "9",
      SyncRecord("com.apple.contacts.Date",
                 {{"label", "anniversary"}, {"value", Value::Date(641520000)}, {"contact", Links({"1"})}}));
  ASSERT_TRUE(Start());
  SyncRun run = Command(100);
  EXPECT_EQ(run.code(), 0);
  ASSERT_EQ(run.Of(100, 2).size(), 1u);
  EXPECT_EQ(
      run.Of(100, 2)[0].data,
      R"({"1":{"birthday":"1990-05-01 08:00:00","com.apple.syncservices.RecordEntityName":"com.apple.contacts.Contact",)"
      R"("first name":"Amelia","modified":"1990-05-01 08:00:00","notes":"seen 1990-05-01T00:00:00Z","rank":"7",)"
      R"("com.apple.contacts.Date":[{"id":"9","com.apple.syncservices.RecordEntityName":"com.apple.contacts.Date",)"
      R"("label":"anniversary","value":"1990-05-01 08:00:00"}]}})");
  // No groups: a count of 0 and nothing after it.
  ASSERT_EQ(run.Of(101, 1).size(), 1u);
  EXPECT_EQ(run.Of(101, 1)[0].info, R"({"Count":0})");
  EXPECT_TRUE(run.Of(101, 2).empty());
}

TEST_F(ContactsRead, AnEmptyAddressBookCountsMinusOneOnlyWhenTheDeviceKeepsContactsInAnAccount) {
  Value accounts = Value::Dict();
  accounts.Set("AccountNames", Links({"iCloud"}));
  phone_.SetDomainValue("com.apple.mobile.data_sync", "Contacts", accounts);
  ASSERT_TRUE(Start());
  SyncRun run = Command(100);
  EXPECT_EQ(run.code(), 0);
  ASSERT_EQ(run.Of(100, 1).size(), 1u);
  EXPECT_EQ(run.Of(100, 1)[0].info, R"({"Count":-1})");
  EXPECT_TRUE(run.Of(100, 2).empty());
  EXPECT_EQ(run.Of(101, 1)[0].info, R"({"Count":0})");
}

TEST_F(ContactsRead, AnEmptyAddressBookWithoutAccountsCountsZero) {
  ASSERT_TRUE(Start());
  SyncRun run = Command(100);
  EXPECT_EQ(run.code(), 0);
  ASSERT_EQ(run.Of(100, 1).size(), 1u);
  EXPECT_EQ(run.Of(100, 1)[0].info, R"({"Count":0})");
}

// The simulator's ready phone: everything the device holds arrives, every detail on its contact.
TEST_F(ContactsRead, TheReadyPhoneListsEveryContactWithEveryDetail) {
  ASSERT_TRUE(StartReadyProfile());
  SyncRun run = Command(100);
  EXPECT_EQ(run.code(), 0);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kContacts, 106);
  size_t contacts = store->per_entity["com.apple.contacts.Contact"];
  size_t groups = store->per_entity["com.apple.contacts.Group"];
  ASSERT_EQ(run.Of(100, 1).size(), 1u);
  EXPECT_EQ(run.Of(100, 1)[0].info, "{\"Count\":" + std::to_string(contacts) + "}");
  EXPECT_EQ(run.Of(101, 1)[0].info, "{\"Count\":" + std::to_string(groups) + "}");
  size_t listed = 0, details = 0;
  for (const hostlink::Report& report : run.Of(100, 2)) {
    rapidjson::Document page = ParseJson(report.data);
    for (auto& contact : page.GetObject()) {
      ++listed;
      for (auto& field : contact.value.GetObject()) {
        if (field.value.IsArray()) details += field.value.Size();
      }
    }
  }
  EXPECT_EQ(listed, contacts);
  EXPECT_EQ(details, store->records.size() - contacts - groups);
}

}  // namespace
}  // namespace e2e
