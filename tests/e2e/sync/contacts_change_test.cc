// Adding, deleting and changing contacts and groups (102 to 106), judged by reading the device's store afterwards
// with libimobiledevice's client, never by Corvane's own answer.
#include "sync_scenario.h"

namespace e2e {
namespace {

using devicesim::Value;

constexpr char kContacts[] = "com.apple.Contacts";

std::string ChangeMessage(const std::string& records, const char* entity) {
  return Plist("<array><string>SDMessageProcessChanges</string><string>com.apple.Contacts</string><dict>" + records +
               "</dict><false/><dict><key>SyncDeviceLinkEntityNamesKey</key><array><string>" + std::string(entity) +
               "</string></array><key>SyncDeviceLinkAllRecordsOfPulledEntityTypeSentKey</key><true/></dict></array>");
}

std::string PhoneRecord(const char* id, const char* value, const char* owner) {
  return std::string("<key>") + id +
         "</key><dict><key>com.apple.syncservices.RecordEntityName</key><string>"
         "com.apple.contacts.Phone Number</string><key>value</key><string>" +
         value +
         "</string><key>contact</key>"
         "<array><string>" +
         owner + "</string></array></dict>";
}

class ContactsChange : public SyncScenario {
 protected:
  ContactsChange() {
    phone_.SetSyncBatchSize(3);  // the drain before a change reads several batches
    for (const char* id : {"c1", "c2", "c3", "c4"}) {
      phone_.AddSyncRecord(kContacts, id, SyncRecord("com.apple.contacts.Contact", {{"first name", id}}));
      phone_.AddSyncRecord(
          kContacts, std::string("p") + id,
          SyncRecord("com.apple.contacts.Phone Number", {{"value", "+1 555"}, {"contact", Links({id})}}));
    }
    phone_.AddSyncRecord(kContacts, "Group/7",
                         SyncRecord("com.apple.contacts.Group", {{"name", "Old"}, {"members", Links({"c1"})}}));
  }
};

// The Phone Number message names the host's contact twice: both numbers end up on the device's new contact, and
// a value that merely contains the host's identifier is left alone.
TEST_F(ContactsChange, AnAddGivesEveryDetailTheDevicesIdentifierForTheContact) {
  ASSERT_TRUE(Start());
  std::string contact = ChangeMessage(
      "<key>H1</key><dict><key>com.apple.syncservices.RecordEntityName</key><string>com.apple.contacts.Contact"
      "</string><key>first name</key><string>Nadia</string></dict>",
      "com.apple.contacts.Contact");
  std::string numbers = ChangeMessage(PhoneRecord("n1", "+44 H1 0100", "H1") + PhoneRecord("n2", "+44 0200", "H1"),
                                      "com.apple.contacts.Phone Number");
  SyncRun run = Command(102, Quoted("com.apple.contacts.Contact") + ":" + Quoted(contact) + "," +
                                 Quoted("com.apple.contacts.Phone Number") + ":" + Quoted(numbers));
  EXPECT_EQ(run.code(), 0);
  EXPECT_EQ(CountLog({.channel = "com.apple.mobilesync", .name = "SDMessageProcessChanges"}), 2u);
  EXPECT_EQ(CountLog({.channel = "com.apple.mobilesync", .name = "SDMessageFinishSessionOnDevice"}), 1u);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kContacts, 106);
  std::string nadia;
  for (const auto& [id, fields] : store->records) {
    if (store->Field(id, "first name") == "Nadia") nadia = id;
  }
  ASSERT_FALSE(nadia.empty());
  EXPECT_NE(nadia, "H1");
  std::vector<std::string> values;
  for (const auto& [id, fields] : store->records) {
    if (store->FirstLink(id, "contact") == nadia) values.push_back(store->Field(id, "value"));
  }
  std::sort(values.begin(), values.end());
  EXPECT_EQ(values, (std::vector<std::string>{"+44 0200", "+44 H1 0100"}));
}

TEST_F(ContactsChange, AContactWithoutAnIdentifierFromTheDeviceSendsNoDetails) {
  ASSERT_TRUE(Start());
  // An entity the device does not keep gets no identifier.
  std::string contact = ChangeMessage(
      "<key>H1</key><dict><key>com.apple.syncservices.RecordEntityName</key><string>com.apple.contacts.Unknown"
      "</string></dict>",
      "com.apple.contacts.Contact");
  std::string numbers = ChangeMessage(PhoneRecord("n1", "+44 0100", "H1"), "com.apple.contacts.Phone Number");
  SyncRun run = Command(102, Quoted("com.apple.contacts.Contact") + ":" + Quoted(contact) + "," +
                                 Quoted("com.apple.contacts.Phone Number") + ":" + Quoted(numbers));
  EXPECT_EQ(run.code(), 28);
  EXPECT_EQ(CountLog({.channel = "com.apple.mobilesync", .name = "SDMessageProcessChanges"}), 1u);
  EXPECT_EQ(CountLog({.channel = "com.apple.mobilesync", .name = "SDMessageFinishSessionOnDevice"}), 0u);
  EXPECT_EQ(ReadStore(kContacts, 106)->records.size(), 9u);
}

// The device names no new identifier for a contact it already has: the edit goes on, its details link to it.
TEST_F(ContactsChange, AnEditKeepsTheContactsIdentifierAndSendsItsDetails) {
  ASSERT_TRUE(Start());
  std::string contact = ChangeMessage(
      "<key>c3</key><dict><key>com.apple.syncservices.RecordEntityName</key><string>com.apple.contacts.Contact"
      "</string><key>first name</key><string>Renamed</string></dict>",
      "com.apple.contacts.Contact");
  std::string numbers = ChangeMessage(PhoneRecord("n7", "+44 0700", "c3"), "com.apple.contacts.Phone Number");
  SyncRun run = Command(102, Quoted("com.apple.contacts.Contact") + ":" + Quoted(contact) + "," +
                                 Quoted("com.apple.contacts.Phone Number") + ":" + Quoted(numbers));
  EXPECT_EQ(run.code(), 0);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kContacts, 106);
  EXPECT_EQ(store->Field("c3", "first name"), "Renamed");
  size_t numbers_of_c3 = 0;
  for (const auto& [id, fields] : store->records) {
    if (store->FirstLink(id, "contact") == "c3") ++numbers_of_c3;
  }
  EXPECT_EQ(numbers_of_c3, 2u);
}

TEST_F(ContactsChange, ParametersThatCannotBeSentReachNoDevice) {
  ASSERT_TRUE(Start());
  EXPECT_EQ(Command(102, Quoted("com.apple.contacts.Contact") + ":\"<plist><array>\"").code(), 8);
  EXPECT_EQ(Command(102, Quoted("com.apple.contacts.Phone Number") + ":\"x\"").code(), 8);
  EXPECT_EQ(Command(103).code(), 8);
  EXPECT_EQ(Command(105, "\"id\":\"\"").code(), 8);
  EXPECT_EQ(Command(104, "\"name\":\"No id\"").code(), 8);
  EXPECT_EQ(
      CountLog(
          {.channel = "lockdown", .name = "StartService", .arg_key = "Service", .arg_value = "com.apple.mobilesync"}),
      0u);
}

TEST_F(ContactsChange, DeletingAContactTakesItsDetailsWithIt) {
  ASSERT_TRUE(Start());
  EXPECT_EQ(Command(103, "\"id\":\"c2\"").code(), 0);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kContacts, 106);
  EXPECT_EQ(store->records.count("c2"), 0u);
  EXPECT_EQ(store->records.count("pc2"), 0u);
  EXPECT_EQ(store->records.count("c3"), 1u);
}

TEST_F(ContactsChange, AddingAGroupReportsTheDevicesIdentifierAndTheDeviceHoldsIt) {
  ASSERT_TRUE(Start());
  SyncRun run = Command(104, "\"id\":\"tmp-1\",\"name\":\"Climbers & <Co>\"");
  EXPECT_EQ(run.code(), 0);
  ASSERT_EQ(run.Of(104, 2).size(), 1u);
  rapidjson::Document event = ParseJson(run.Of(104, 2)[0].data);
  std::string id = event["id"].GetString();
  EXPECT_EQ(std::string(event["name"].GetString()), "Climbers & <Co>");
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kContacts, 106);
  EXPECT_EQ(store->Field(id, "name"), "Climbers & <Co>");
  EXPECT_EQ(store->Field(id, kEntityField), "com.apple.contacts.Group");
}

TEST_F(ContactsChange, EditingAGroupRenamesItAndSetsItsMembers) {
  ASSERT_TRUE(Start());
  SyncRun run = Command(106, "\"id\":\"7\",\"guid\":\"7\",\"name\":\"Renamed\",\"members\":[\"c3\",\"c4\"]");
  EXPECT_EQ(run.code(), 0);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kContacts, 106);
  EXPECT_EQ(store->Field("Group/7", "name"), "Renamed");
  EXPECT_EQ(store->FirstLink("Group/7", "members"), "c3");
  // An existing group keeps its identifier: the device names no new one, so nothing is reported.
  EXPECT_TRUE(run.Of(106, 2).empty());
  EXPECT_EQ(Command(105, "\"id\":\"Group/7\"").code(), 0);
  EXPECT_EQ(ReadStore(kContacts, 106)->records.count("Group/7"), 0u);
}

}  // namespace
}  // namespace e2e
