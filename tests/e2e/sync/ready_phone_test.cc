// The change commands of the four modules against the simulator's ready phone, each judged by the device's
// store afterwards.
#include "sync_scenario.h"

namespace e2e {
namespace {

class ReadyPhone : public SyncScenario {
 protected:
  // The first record of `entity` the device holds.
  std::string FirstOf(const char* data_class, uint64_t version, const char* entity) {
    std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(data_class, version);
    for (const std::string& id : store->order) {
      if (store->Field(id, kEntityField) == entity) return id;
    }
    ADD_FAILURE() << "no " << entity;
    return std::string();
  }
};

TEST_F(ReadyPhone, DeletesAndAddsOfEveryClassReachTheStore) {
  ASSERT_TRUE(StartReadyProfile());
  std::string contact = FirstOf("com.apple.Contacts", 106, "com.apple.contacts.Contact");
  EXPECT_EQ(Command(103, "\"id\":" + Quoted(contact)).code(), 0);
  EXPECT_EQ(ReadStore("com.apple.Contacts", 106)->records.count(contact), 0u);

  SyncRun group = Command(104, "\"id\":\"t1\",\"name\":\"Book club\"");
  EXPECT_EQ(group.code(), 0);
  ASSERT_EQ(group.Of(104, 2).size(), 1u);
  std::string group_id = TextOf(group.Of(104, 2)[0].data, "id");
  EXPECT_EQ(ReadStore("com.apple.Contacts", 106)->Field(group_id, "name"), "Book club");

  std::string event = FirstOf("com.apple.Calendars", 110, "com.apple.calendars.Event");
  EXPECT_EQ(Command(1502, "\"id\":" + Quoted(event)).code(), 0);
  EXPECT_EQ(ReadStore("com.apple.Calendars", 110)->records.count(event), 0u);

  std::string bookmark = FirstOf("com.apple.Bookmarks", 102, "com.apple.bookmarks.Bookmark");
  EXPECT_EQ(Command(1402, "\"id\":" + Quoted(bookmark)).code(), 0);
  EXPECT_EQ(ReadStore("com.apple.Bookmarks", 102)->records.count(bookmark), 0u);

  size_t notes = ReadStore("com.apple.Notes", 102)->records.size();
  EXPECT_EQ(Command(1201, "\"id\":\"new-note\",\"title\":\"Ready\",\"content\":\"set\"").code(), 0);
  EXPECT_EQ(ReadStore("com.apple.Notes", 102)->records.size(), notes + 1);
}

}  // namespace
}  // namespace e2e
