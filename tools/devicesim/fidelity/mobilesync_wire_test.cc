// The synchronisation service message by message on a raw connection, for what libimobiledevice's client does
// not show: the device anchor that makes the next sync fast, the three-element delete message some computers
// send, the answers to messages out of turn or not device-link at all, and a stalled link.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fidelity_fixture.h"

namespace devicesim {
namespace {

constexpr char kUdid[] = "00008030-00AB12CD34EF0001";
constexpr char kContacts[] = "com.apple.Contacts";

struct PlistFree {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using Plist = std::unique_ptr<void, PlistFree>;

plist_t Strings(const std::vector<std::string>& items) {
  plist_t array = plist_new_array();
  for (const std::string& item : items) plist_array_append_item(array, plist_new_string(item.c_str()));
  return array;
}

std::string At(plist_t message, uint32_t index) {
  if (!message || plist_get_node_type(message) != PLIST_ARRAY || index >= plist_array_get_size(message)) return "";
  plist_t item = plist_array_get_item(message, index);
  if (plist_get_node_type(item) != PLIST_STRING) return "";
  char* text = nullptr;
  plist_get_string_val(item, &text);
  std::string out = text ? text : "";
  std::free(text);
  return out;
}

class MobileSyncWireTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    ProfileBuilder phone(kUdid);
    phone.SetSyncBatchSize(1);
    for (const char* id : {"1", "2"}) {
      Value contact = Value::Dict();
      contact.Set("com.apple.syncservices.RecordEntityName", "com.apple.contacts.Contact");
      contact.Set("first name", std::string("Person ") + id);
      phone.AddSyncRecord(kContacts, id, contact);
    }
    Configure(phone);
    AddDevice("phone", phone);
    session_ = std::make_unique<LockdownSession>(kUdid);
    ASSERT_TRUE(session_->ok());
  }
  void TearDown() override {
    session_.reset();
    SimulatorTest::TearDown();
  }
  virtual void Configure(ProfileBuilder&) {}

  // Opens the service and runs the version exchange as a computer does.
  std::unique_ptr<RawService> Open() {
    auto raw = std::make_unique<RawService>(*session_, "com.apple.mobilesync");
    EXPECT_TRUE(raw->ok());
    Plist offer(raw->ReceivePlist(false));
    EXPECT_EQ(At(offer.get(), 0), "DLMessageVersionExchange");
    uint64_t major = 0, minor = 0;
    if (offer && plist_array_get_size(offer.get()) >= 3) {
      plist_get_uint_val(plist_array_get_item(offer.get(), 1), &major);
      plist_get_uint_val(plist_array_get_item(offer.get(), 2), &minor);
    }
    EXPECT_EQ(major, 300u);
    EXPECT_EQ(minor, 100u);
    Plist ok(Strings({"DLMessageVersionExchange", "DLVersionsOk"}));
    plist_array_append_item(ok.get(), plist_new_uint(300));
    raw->SendPlist(ok.get(), false);
    Plist ready(raw->ReceivePlist(false));
    EXPECT_EQ(At(ready.get(), 0), "DLMessageDeviceReady");
    return raw;
  }

  static Plist Exchange(RawService& raw, plist_t message) {
    raw.SendPlist(message, false);
    plist_free(message);
    return Plist(raw.ReceivePlist(false));
  }

  // The sync request; returns the device's answer.
  static Plist Request(RawService& raw, const std::string& device_anchor) {
    plist_t request = Strings({"SDMessageSyncDataClassWithDevice", kContacts, device_anchor, "2024-03-03 14:05:09 +0800"});
    plist_array_append_item(request, plist_new_uint(106));
    plist_array_append_item(request, plist_new_string("___EmptyParameterString___"));
    return Exchange(raw, request);
  }

  std::unique_ptr<LockdownSession> session_;
};

TEST_F(MobileSyncWireTest, AnchorOfAFinishedSessionMakesTheNextSyncFastWithNoChanges) {
  std::string anchor;
  {
    auto raw = Open();
    Plist answer = Request(*raw, "Contacts-Device-Anchor");
    ASSERT_EQ(At(answer.get(), 0), "SDMessageSyncDataClassWithComputer");
    EXPECT_EQ(At(answer.get(), 3), "2024-03-03 14:05:09 +0800");
    EXPECT_EQ(At(answer.get(), 4), "SDSyncTypeSlow");
    anchor = At(answer.get(), 2);
    ASSERT_FALSE(anchor.empty());
    // A slow sync's changes are all records.
    Plist batch = Exchange(*raw, Strings({"SDMessageGetChangesFromDevice", kContacts}));
    EXPECT_EQ(At(batch.get(), 0), "SDMessageProcessChanges");
    Plist next = Exchange(*raw, Strings({"SDMessageAcknowledgeChangesFromDevice", kContacts}));
    EXPECT_EQ(At(next.get(), 0), "SDMessageProcessChanges");
    Plist ready = Exchange(*raw, Strings({"SDMessageAcknowledgeChangesFromDevice", kContacts}));
    EXPECT_EQ(At(ready.get(), 0), "SDMessageDeviceReadyToReceiveChanges");
    Plist done = Exchange(*raw, Strings({"SDMessageFinishSessionOnDevice", kContacts}));
    EXPECT_EQ(At(done.get(), 0), "SDMessageDeviceFinishedSession");
  }
  auto raw = Open();
  Plist answer = Request(*raw, anchor);
  EXPECT_EQ(At(answer.get(), 4), "SDSyncTypeFast");
  EXPECT_NE(At(answer.get(), 2), anchor);
  Plist batch = Exchange(*raw, Strings({"SDMessageGetChangesFromDevice", kContacts}));
  ASSERT_EQ(At(batch.get(), 0), "SDMessageProcessChanges");
  EXPECT_EQ(plist_dict_get_size(plist_array_get_item(batch.get(), 2)), 0u);
  uint8_t more = 1;
  plist_get_bool_val(plist_array_get_item(batch.get(), 3), &more);
  EXPECT_EQ(more, 0);
}

TEST_F(MobileSyncWireTest, ThreeElementDeleteIsAppliedAndAnsweredWithAnEmptyMap) {
  auto raw = Open();
  ASSERT_EQ(At(Request(*raw, "---").get(), 0), "SDMessageSyncDataClassWithComputer");
  // A computer may send its changes without acknowledging the device's batches first.
  Plist batch = Exchange(*raw, Strings({"SDMessageGetChangesFromDevice", kContacts}));
  ASSERT_EQ(At(batch.get(), 0), "SDMessageProcessChanges");
  raw->SendPlist(Plist(Strings({"DLMessagePing", kContacts})).get(), false);
  plist_t deletion = Strings({"SDMessageProcessChanges", kContacts});
  plist_t records = plist_new_dict();
  plist_dict_set_item(records, "1", plist_new_string("___EmptyParameterString___"));
  plist_array_append_item(deletion, records);
  Plist remap = Exchange(*raw, deletion);
  ASSERT_EQ(At(remap.get(), 0), "SDMessageRemapRecordIdentifiers");
  EXPECT_EQ(plist_dict_get_size(plist_array_get_item(remap.get(), 2)), 0u);
  Plist done = Exchange(*raw, Strings({"SDMessageFinishSessionOnDevice", kContacts}));
  EXPECT_EQ(At(done.get(), 0), "SDMessageDeviceFinishedSession");

  auto again = Open();
  Request(*again, "---");
  Plist all = Exchange(*again, Strings({"SDMessageGetAllRecordsFromDevice", kContacts}));
  uint8_t more = 1;
  plist_get_bool_val(plist_array_get_item(all.get(), 3), &more);
  EXPECT_EQ(more, 0) << "one contact is left, one batch";
  EXPECT_NE(plist_dict_get_item(plist_array_get_item(all.get(), 2), "2"), nullptr);
}

TEST_F(MobileSyncWireTest, MessagesOutOfTurnCancelAndNonLinkMessagesDisconnect) {
  auto raw = Open();
  // Before any sync request a session message has no meaning: the device gives up on the link.
  Plist early = Exchange(*raw, Strings({"SDMessageGetAllRecordsFromDevice", kContacts}));
  EXPECT_EQ(At(early.get(), 0), "DLMessageDisconnect");

  raw = Open();
  Request(*raw, "---");
  Plist stray = Exchange(*raw, Strings({"SDMessageAcknowledgeChangesFromDevice", kContacts}));
  EXPECT_EQ(At(stray.get(), 0), "SDMessageCancelSession");
  EXPECT_EQ(At(stray.get(), 1), kContacts);
  // The link stays: a new session may start.
  EXPECT_EQ(At(Request(*raw, "---").get(), 0), "SDMessageSyncDataClassWithComputer");
  Plist wrong_class = Exchange(*raw, Strings({"SDMessageGetAllRecordsFromDevice", "com.apple.Notes"}));
  EXPECT_EQ(At(wrong_class.get(), 0), "SDMessageCancelSession");

  plist_t dict = plist_new_dict();
  plist_dict_set_item(dict, "Request", plist_new_string("GetValue"));
  Plist answer = Exchange(*raw, dict);
  EXPECT_EQ(At(answer.get(), 0), "DLMessageDisconnect");
  std::string rest;
  EXPECT_FALSE(raw->Receive(1, &rest, 2000)) << "the device closes after giving up";
}

class StalledMobileSyncTest : public MobileSyncWireTest {
  void Configure(ProfileBuilder& phone) override { phone.SetSyncFault({.times = -1, .after_messages = 3, .stall = true}); }
};

TEST_F(StalledMobileSyncTest, StalledLinkAnswersNothingAfterTheSyncAnswer) {
  auto raw = Open();
  ASSERT_EQ(At(Request(*raw, "---").get(), 0), "SDMessageSyncDataClassWithComputer");
  raw->SendPlist(Plist(Strings({"SDMessageGetAllRecordsFromDevice", kContacts})).get(), false);
  Plist nothing(raw->ReceivePlist(false, 500));
  EXPECT_EQ(nothing, nullptr);
}

}  // namespace
}  // namespace devicesim
