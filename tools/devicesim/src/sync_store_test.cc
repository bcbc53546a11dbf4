#include "sync_store.h"

#include <gtest/gtest.h>

#include "plist_util.h"
#include "sync_classes.h"

namespace devicesim {
namespace {

constexpr char kCalendars[] = "com.apple.Calendars";
constexpr char kContacts[] = "com.apple.Contacts";

Value Record(const char* entity, std::initializer_list<std::pair<const char*, Value>> fields) {
  Value record = Value::Dict();
  record.Set(kEntityNameKey, entity);
  for (const auto& [key, value] : fields) record.Set(key, value);
  return record;
}

SyncRecord Stored(const char* id, Value fields) { return {id, std::make_shared<const Value>(std::move(fields))}; }

// A calendar with an event that has an alarm, and a second calendar.
SyncProfile Calendars() {
  SyncProfile profile;
  profile.records[kCalendars] = {
      Stored("40", Record("com.apple.calendars.DisplayAlarm", {{"owner", Value::Array({"20"})}})),
      Stored("20", Record("com.apple.calendars.Event", {{"summary", "Dentist"}, {"calendar", Value::Array({"10"})}})),
      Stored("10", Record("com.apple.calendars.Calendar", {{"title", "Home"}})),
      Stored("11", Record("com.apple.calendars.Calendar", {{"title", "Work"}})),
  };
  return profile;
}

std::vector<std::string> Ids(const std::vector<SyncRecord>& records) {
  std::vector<std::string> ids;
  for (const SyncRecord& record : records) ids.push_back(record.id);
  return ids;
}

std::map<std::string, std::string> Apply(SyncStore& store, const char* data_class, const Value& changes,
                                         std::map<std::string, std::string>* session, size_t* rejected = nullptr) {
  size_t ignored = 0;
  PlistPtr node(ToPlist(changes));
  return store.Apply(data_class, node.get(), session, rejected ? rejected : &ignored);
}

TEST(SyncStoreTest, OwnersComeBeforeTheRecordsThatPointAtThem) {
  SyncStore store(Calendars());
  EXPECT_EQ(Ids(store.Records(kCalendars, 0)), (std::vector<std::string>{"10", "11", "20", "40"}));
  EXPECT_TRUE(store.Records(kContacts, 0).empty());
}

TEST(SyncStoreTest, OnlyTheConfirmedAnchorGivesAFastSyncWithTheChangesSinceIt) {
  SyncStore store(Calendars());
  SyncStart first = store.Begin(kCalendars, "---");
  EXPECT_EQ(first.sync_type, "SDSyncTypeSlow");
  EXPECT_EQ(store.Begin(kCalendars, first.device_anchor).sync_type, "SDSyncTypeSlow") << "not confirmed yet";
  store.Finish(kCalendars, first.device_anchor);
  SyncStart second = store.Begin(kCalendars, first.device_anchor);
  EXPECT_EQ(second.sync_type, "SDSyncTypeFast");
  EXPECT_TRUE(store.Records(kCalendars, second.changes_since).empty());
  // A change after the confirmation is what the next fast sync reports.
  std::map<std::string, std::string> session;
  Value edit = Value::Dict();
  edit.Set("11", Record("com.apple.calendars.Calendar", {{"title", "Office"}}));
  Apply(store, kCalendars, edit, &session);
  EXPECT_EQ(Ids(store.Records(kCalendars, second.changes_since)), (std::vector<std::string>{"11"}));
  EXPECT_EQ(store.Begin(kContacts, first.device_anchor).sync_type, "SDSyncTypeSlow") << "anchors are per class";

  SyncProfile forced = Calendars();
  forced.classes[kCalendars].sync_type = "reset";
  SyncStore reset(forced);
  EXPECT_EQ(reset.Begin(kCalendars, "---").sync_type, "SDSyncTypeReset");
}

TEST(SyncStoreTest, NewRecordsGetFreshIdentifiersAndTheirLinksFollow) {
  SyncStore store(Calendars());
  std::map<std::string, std::string> session;
  Value changes = Value::Dict();
  changes.Set("tmp-alarm", Record("com.apple.calendars.DisplayAlarm", {{"owner", Value::Array({"tmp-event"})}}));
  changes.Set("tmp-event", Record("com.apple.calendars.Event", {{"summary", "Sailing"}, {"calendar", Value::Array({"11"})}}));
  changes.Set("tmp-note", Record("com.apple.notes.Note", {{"subject", "wrong class"}}));
  size_t rejected = 0;
  std::map<std::string, std::string> assigned = Apply(store, kCalendars, changes, &session, &rejected);
  EXPECT_EQ(rejected, 1u);
  ASSERT_EQ(assigned.size(), 2u);
  std::string event = assigned["tmp-event"], alarm = assigned["tmp-alarm"];
  EXPECT_EQ(std::set<std::string>({event, alarm}), std::set<std::string>({"41", "42"})) << "after the largest id";
  std::vector<SyncRecord> records = store.Records(kCalendars, 0);
  ASSERT_EQ(records.size(), 6u);
  for (const SyncRecord& record : records) {
    if (record.id != alarm) continue;
    EXPECT_EQ(record.fields->Find("owner")->items()[0].text(), event);
  }
  // The same computer identifier again in the session edits the record it became.
  Value again = Value::Dict();
  again.Set("tmp-event", Record("com.apple.calendars.Event", {{"summary", "Sailing (moved)"}, {"calendar", Value::Array({"11"})}}));
  EXPECT_TRUE(Apply(store, kCalendars, again, &session).empty());
  EXPECT_EQ(store.Count(kCalendars), 6u);
}

TEST(SyncStoreTest, DeletingAnOwnerTakesItsDependentsAndGroupsOnlyShrink) {
  SyncStore store(Calendars());
  std::map<std::string, std::string> session;
  Value deletion = Value::Dict();
  deletion.Set("10", kEmptyParameter);
  Apply(store, kCalendars, deletion, &session);
  EXPECT_EQ(Ids(store.Records(kCalendars, 0)), (std::vector<std::string>{"11"})) << "calendar, event and alarm";

  SyncProfile people;
  people.records[kContacts] = {
      Stored("1", Record("com.apple.contacts.Contact", {{"first name", "Ada"}})),
      Stored("2", Record("com.apple.contacts.Contact", {{"first name", "Ben"}})),
      Stored("3", Record("com.apple.contacts.Group", {{"name", "Friends"}, {"members", Value::Array({"1", "2"})}})),
      Stored("4", Record("com.apple.contacts.Phone Number", {{"contact", Value::Array({"1"})}})),
  };
  SyncStore contacts(people);
  Value gone = Value::Dict();
  gone.Set("1", kEmptyParameter);
  gone.Set("no-such-record", kEmptyParameter);
  Apply(contacts, kContacts, gone, &session);
  std::vector<SyncRecord> left = contacts.Records(kContacts, 0);
  EXPECT_EQ(Ids(left), (std::vector<std::string>{"2", "3"}));
  EXPECT_EQ(left[1].fields->Find("members")->items().size(), 1u);
}

TEST(SyncStoreTest, KeptBatchesLastOnlyWhileTheRecordsStayTheSame) {
  SyncStore store(Calendars());
  uint64_t version = 0;
  store.Records(kCalendars, 0, &version);
  auto batches = std::make_shared<const std::vector<std::string>>(std::vector<std::string>{"encoded"});
  store.KeepBatches(kCalendars, version, batches);
  EXPECT_EQ(store.KeptBatches(kCalendars), batches);
  std::map<std::string, std::string> session;
  Value deletion = Value::Dict();
  deletion.Set("11", kEmptyParameter);
  Apply(store, kCalendars, deletion, &session);
  EXPECT_EQ(store.KeptBatches(kCalendars), nullptr);
  store.KeepBatches(kCalendars, version, batches);
  EXPECT_EQ(store.KeptBatches(kCalendars), nullptr) << "batches of an older state are not kept";
  store.Clear(kCalendars);
  EXPECT_EQ(store.Count(kCalendars), 0u);
}

TEST(SyncStoreTest, FaultIsTakenAsOftenAsArmed) {
  SyncProfile profile;
  profile.fault = {.times = 2, .after_messages = 5, .stall = true};
  SyncStore store(profile);
  SyncFault fault;
  EXPECT_TRUE(store.TakeFault(&fault));
  EXPECT_EQ(fault.after_messages, 5u);
  EXPECT_TRUE(store.TakeFault(&fault));
  EXPECT_FALSE(store.TakeFault(&fault));
}

}  // namespace
}  // namespace devicesim
