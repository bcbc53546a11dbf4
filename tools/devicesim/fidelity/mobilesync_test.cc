// The synchronisation service against libimobiledevice's own mobilesync client: the ready profile's personal
// data read class by class across batches, a contact added (with a detail pointing at it), found again and
// deleted, refusals and cancels the library reports as such, and the profile's faults.
#include <rapidjson/document.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "fidelity_fixture.h"
#include "mobilesync_client.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

constexpr char kUdid[] = "00008030-00AB12CD34EF5678";
constexpr char kReadyUdid[] = "00008110-001A2D3C0E38801E";
constexpr char kContacts[] = "com.apple.Contacts";
constexpr char kEntity[] = "com.apple.syncservices.RecordEntityName";

struct PlistFree {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using Plist = std::unique_ptr<void, PlistFree>;

Value Record(const char* entity, std::initializer_list<std::pair<const char*, Value>> fields) {
  Value record = Value::Dict();
  record.Set(kEntity, entity);
  for (const auto& [key, value] : fields) record.Set(key, value);
  return record;
}

Value Links(const char* id) { return Value::Array({Value(id)}); }

// Three contacts with a phone number each, in batches of two.
ProfileBuilder SmallAddressBook() {
  ProfileBuilder phone(kUdid);
  phone.SetSyncBatchSize(2);
  for (const char* id : {"1", "2", "3"}) {
    phone.AddSyncRecord(kContacts, id, Record("com.apple.contacts.Contact", {{"first name", std::string("P") + id}}));
  }
  for (const char* owner : {"1", "2", "3"}) {
    phone.AddSyncRecord(kContacts, std::string("1") + owner,
                        Record("com.apple.contacts.Phone Number",
                               {{"value", std::string("+1 555 010") + owner}, {"type", "mobile"}, {"contact", Links(owner)}}));
  }
  return phone;
}

size_t RecordsInFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  rapidjson::Document json;
  json.Parse(text.str().c_str());
  return json.IsObject() ? json.MemberCount() : 0;
}

class MobileSyncTest : public SimulatorTest {
 protected:
  // A whole read session; the records land in *records.
  void ReadClass(const std::string& udid, const char* data_class, uint64_t version, SyncedRecords* records) {
    MobileSyncClient client(udid);
    ASSERT_EQ(client.start_error(), MOBILESYNC_E_SUCCESS);
    mobilesync_sync_type_t type;
    ASSERT_EQ(client.Start(data_class, version, &type), MOBILESYNC_E_SUCCESS) << data_class;
    EXPECT_EQ(type, MOBILESYNC_SYNC_TYPE_SLOW);
    ASSERT_EQ(client.ReadAll(records), MOBILESYNC_E_SUCCESS) << data_class;
    ASSERT_EQ(client.ReadyToSend(), MOBILESYNC_E_SUCCESS) << data_class;
    ASSERT_EQ(client.Finish(), MOBILESYNC_E_SUCCESS) << data_class;
  }
};

TEST_F(MobileSyncTest, ReadyProfileGivesEveryClassWithItsCountsAcrossBatches) {
  std::string source = std::string(CORVANE_SOURCE_DIR) + "/tools/devicesim/profiles/iphone-current";
  fs::copy(source, ProfileDir("iphone-current"), fs::copy_options::recursive);
  std::string error;
  ASSERT_TRUE(sim_.AddProfile(ProfileDir("iphone-current"), true, &error)) << error;
  const int batch_size = 20;  // the ready profile's
  for (const char* data_class : {"com.apple.Contacts", "com.apple.Calendars", "com.apple.Bookmarks", "com.apple.Notes"}) {
    size_t expected = RecordsInFile(source + "/sync/" + data_class + ".json");
    ASSERT_GT(expected, 0u) << data_class;
    SyncedRecords records;
    ASSERT_NO_FATAL_FAILURE(ReadClass(kReadyUdid, data_class, 106, &records));
    EXPECT_EQ(records.records.size(), expected) << data_class;
    EXPECT_EQ(records.order.size(), expected) << data_class << ": a record came twice";
    EXPECT_EQ(records.batches, static_cast<int>(std::ceil(static_cast<double>(expected) / batch_size))) << data_class;
  }
  SyncedRecords contacts;
  ASSERT_NO_FATAL_FAILURE(ReadClass(kReadyUdid, kContacts, 106, &contacts));
  EXPECT_GT(contacts.batches, 3);
  EXPECT_EQ(contacts.per_entity["com.apple.contacts.Group"], 2);
  EXPECT_GE(contacts.per_entity["com.apple.contacts.Contact"], 30);
  for (const char* detail : {"Phone Number", "Email Address", "Street Address", "URL", "Related Name", "IM", "Date"}) {
    EXPECT_GT(contacts.per_entity[std::string("com.apple.contacts.") + detail], 0) << detail;
  }
  // Every detail comes after the contact it belongs to, so a reader can attach it on arrival.
  std::map<std::string, size_t> position;
  for (size_t i = 0; i < contacts.order.size(); ++i) position[contacts.order[i]] = i;
  for (const std::string& id : contacts.order) {
    std::string owner = contacts.FirstLink(id, "contact");
    if (owner.empty()) continue;
    ASSERT_TRUE(position.count(owner)) << id << " points at a missing contact " << owner;
    EXPECT_LT(position[owner], position[id]) << id;
  }
  // Dates travel as property-list dates.
  bool saw_date = false;
  for (const auto& [id, fields] : contacts.records) {
    plist_t birthday = plist_dict_get_item(fields, "birthday");
    if (!birthday) continue;
    saw_date = true;
    EXPECT_EQ(plist_get_node_type(birthday), PLIST_DATE) << id;
  }
  EXPECT_TRUE(saw_date);
}

TEST_F(MobileSyncTest, AddedContactIsRemappedFoundAgainAndDeletedWithItsDetails) {
  AddDevice("phone", SmallAddressBook());
  std::string contact_id;
  {
    MobileSyncClient client(kUdid);
    ASSERT_EQ(client.Start(kContacts, 106), MOBILESYNC_E_SUCCESS);
    SyncedRecords before;
    ASSERT_EQ(client.ReadAll(&before), MOBILESYNC_E_SUCCESS);
    EXPECT_EQ(before.records.size(), 6u);
    EXPECT_EQ(before.batches, 3);
    ASSERT_EQ(client.ReadyToSend(), MOBILESYNC_E_SUCCESS);
    plist_t contact = plist_new_dict();
    plist_dict_set_item(contact, kEntity, plist_new_string("com.apple.contacts.Contact"));
    plist_dict_set_item(contact, "first name", plist_new_string("Added"));
    plist_t number = plist_new_dict();
    plist_dict_set_item(number, kEntity, plist_new_string("com.apple.contacts.Phone Number"));
    plist_dict_set_item(number, "value", plist_new_string("+1 555 0199"));
    plist_t owner = plist_new_array();
    plist_array_append_item(owner, plist_new_string("computer-contact"));
    plist_dict_set_item(number, "contact", owner);
    Plist changes(plist_new_dict());
    plist_dict_set_item(changes.get(), "computer-contact", contact);
    plist_dict_set_item(changes.get(), "computer-phone", number);
    plist_t mapping = nullptr;
    ASSERT_EQ(client.SendChanges(changes.get(), &mapping), MOBILESYNC_E_SUCCESS);
    ASSERT_NE(mapping, nullptr);
    char* id = nullptr;
    plist_get_string_val(plist_dict_get_item(mapping, "computer-contact"), &id);
    ASSERT_NE(id, nullptr);
    contact_id = id;
    free(id);
    EXPECT_NE(plist_dict_get_item(mapping, "computer-phone"), nullptr);
    plist_free(mapping);
    ASSERT_EQ(client.Finish(), MOBILESYNC_E_SUCCESS);
  }
  EXPECT_TRUE(contact_id != "1" && contact_id != "2" && contact_id != "3" && contact_id != "computer-contact");

  SyncedRecords after;
  ASSERT_NO_FATAL_FAILURE(ReadClass(kUdid, kContacts, 106, &after));
  ASSERT_EQ(after.records.size(), 8u);
  EXPECT_EQ(after.Field(contact_id, "first name"), "Added");
  int linked = 0;
  for (const auto& [id, fields] : after.records) linked += after.FirstLink(id, "contact") == contact_id;
  EXPECT_EQ(linked, 1) << "the phone number points at the device's identifier, not the computer's";

  {
    MobileSyncClient client(kUdid);
    ASSERT_EQ(client.Start(kContacts, 106), MOBILESYNC_E_SUCCESS);
    SyncedRecords ignored;
    ASSERT_EQ(client.ReadAll(&ignored), MOBILESYNC_E_SUCCESS);
    ASSERT_EQ(client.ReadyToSend(), MOBILESYNC_E_SUCCESS);
    Plist deletion(plist_new_dict());
    plist_dict_set_item(deletion.get(), contact_id.c_str(), plist_new_string("___EmptyParameterString___"));
    plist_t mapping = nullptr;
    ASSERT_EQ(client.SendChanges(deletion.get(), &mapping), MOBILESYNC_E_SUCCESS);
    if (mapping) {
      EXPECT_EQ(plist_dict_get_size(mapping), 0u);
      plist_free(mapping);
    }
    ASSERT_EQ(client.Finish(), MOBILESYNC_E_SUCCESS);
  }
  SyncedRecords last;
  ASSERT_NO_FATAL_FAILURE(ReadClass(kUdid, kContacts, 106, &last));
  EXPECT_EQ(last.records.size(), 6u) << "the contact's phone number goes with it";
  EXPECT_EQ(last.records.count(contact_id), 0u);
}

TEST_F(MobileSyncTest, RefusalsAndCancelsReachTheLibraryAsSuch) {
  ProfileBuilder phone = SmallAddressBook();
  phone.SetSyncClass("com.apple.Notes", {.answer = "refuse", .reason = "Notes are kept in the cloud"});
  phone.SetSyncClass("com.apple.Bookmarks", {.answer = "cancel", .reason = "Busy"});
  phone.SetSyncClass("com.apple.Calendars", {.sync_type = "reset", .version = 107, .min_computer_version = 100});
  phone.SetDomainValue("com.apple.mobile.tethered_sync", "Contacts", [] {
    Value disabled = Value::Dict();
    disabled.Set("DisableTethered", true);
    return disabled;
  }());
  AddDevice("phone", phone);
  struct Case {
    const char* data_class;
    uint64_t version;
    mobilesync_error_t error;
    std::string reason;
  } cases[] = {
      {"com.apple.MailAccounts", 106, MOBILESYNC_E_SYNC_REFUSED, "The device does not sync com.apple.MailAccounts"},
      {"com.apple.Notes", 102, MOBILESYNC_E_SYNC_REFUSED, "Notes are kept in the cloud"},
      {"com.apple.Bookmarks", 102, MOBILESYNC_E_CANCELLED, "Busy"},
      {"com.apple.Calendars", 99, MOBILESYNC_E_SYNC_REFUSED, "Your computer's software is out of date"},
      {"com.apple.Contacts", 106, MOBILESYNC_E_SYNC_REFUSED, "Contacts are not synced with a computer"},
  };
  for (const Case& c : cases) {
    MobileSyncClient client(kUdid);
    std::string reason;
    EXPECT_EQ(client.Start(c.data_class, c.version, nullptr, &reason), c.error) << c.data_class;
    EXPECT_EQ(reason, c.reason);
  }
  MobileSyncClient client(kUdid);
  mobilesync_sync_type_t type;
  uint64_t device_version = 0;
  ASSERT_EQ(client.Start("com.apple.Calendars", 110, &type, nullptr, &device_version), MOBILESYNC_E_SUCCESS);
  EXPECT_EQ(type, MOBILESYNC_SYNC_TYPE_RESET);
  EXPECT_EQ(device_version, 107u);
}

TEST_F(MobileSyncTest, DroppedLinkEndsTheReadWithAnErrorInsteadOfAHang) {
  ProfileBuilder phone = SmallAddressBook();
  // Version exchange, device ready, sync answer, first batch: then the connection closes.
  phone.SetSyncFault({.times = 1, .after_messages = 4});
  AddDevice("phone", phone);
  {
    MobileSyncClient client(kUdid);
    ASSERT_EQ(client.Start(kContacts, 106), MOBILESYNC_E_SUCCESS);
    SyncedRecords records;
    EXPECT_NE(client.ReadAll(&records), MOBILESYNC_E_SUCCESS);
    EXPECT_EQ(records.batches, 1);
  }
  SyncedRecords whole;  // the fault was armed for one connection only
  ASSERT_NO_FATAL_FAILURE(ReadClass(kUdid, kContacts, 106, &whole));
  EXPECT_EQ(whole.records.size(), 6u);
}

}  // namespace
}  // namespace devicesim
