#include "sync_profile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "devicesim/profile_builder.h"
#include "profile.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

class SyncProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sync-profile.XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string dir_;
};

TEST_F(SyncProfileTest, BuilderOutputLoadsWithSettingsRecordsAndDomains) {
  ProfileBuilder builder("UDID-SYNC");
  Value note = Value::Dict();
  note.Set("com.apple.syncservices.RecordEntityName", "com.apple.notes.Note");
  note.Set("dateCreated", Value::Date(1709445600));
  builder.SetSyncBatchSize(7)
      .SetSyncClass("com.apple.Notes", {.answer = "refuse", .reason = "no"})
      .SetSyncFault({.times = 1, .after_messages = 3})
      .AddSyncRecord("com.apple.Notes", "n1", note)
      .AddGeneratedContacts(20);
  std::string error;
  ASSERT_TRUE(builder.Write(dir_ + "/p", &error)) << error;
  Profile profile;
  ASSERT_TRUE(LoadProfile(dir_ + "/p", &profile, &error)) << error;
  EXPECT_EQ(profile.sync.batch_size, 7);
  EXPECT_EQ(profile.sync.classes["com.apple.Notes"].answer, "refuse");
  EXPECT_EQ(profile.sync.fault.after_messages, 3u);
  ASSERT_EQ(profile.sync.records["com.apple.Notes"].size(), 1u);
  EXPECT_EQ(*profile.sync.records["com.apple.Notes"][0].fields, note);
  const std::vector<SyncRecord>& contacts = profile.sync.records["com.apple.Contacts"];
  EXPECT_GT(contacts.size(), 60u);
  EXPECT_EQ(contacts[0].id, "1");
  const Value* accounts = profile.domains.Find("com.apple.mobile.data_sync")->Find("Contacts")->Find("AccountNames");
  ASSERT_NE(accounts, nullptr);
  EXPECT_TRUE(accounts->items().empty());
  EXPECT_NE(profile.domains.Find("com.apple.mobile.tethered_sync"), nullptr);
}

TEST_F(SyncProfileTest, InvalidSettingsAndRecordsAreRefusedWithAReason) {
  for (const char* section : {R"({"batch_size": 0})", R"({"classes": {"com.apple.Notes": {"answer": "maybe"}}})",
                              R"({"classes": {"com.apple.Notes": {"sync_type": "quick"}}})",
                              R"({"fault": {"kind": "explode"}})", R"([1])"}) {
    ProfileBuilder builder("UDID-BAD");
    std::string json = builder.Json();
    json.insert(json.rfind('}'), std::string(",\"sync\": ") + section);
    fs::create_directories(dir_ + "/bad");
    std::ofstream(dir_ + "/bad/device.json") << json;
    Profile profile;
    std::string error;
    EXPECT_FALSE(LoadProfile(dir_ + "/bad", &profile, &error)) << section;
    EXPECT_NE(error.find("device.json"), std::string::npos) << error;
  }
  ProfileBuilder builder("UDID-BAD");
  std::string error;
  ASSERT_TRUE(builder.Write(dir_ + "/records", &error));
  fs::create_directories(dir_ + "/records/sync");
  std::ofstream(dir_ + "/records/sync/com.apple.Contacts.json") << R"({"1": {"first name": "No entity"}})";
  Profile profile;
  EXPECT_FALSE(LoadProfile(dir_ + "/records", &profile, &error));
  EXPECT_NE(error.find("RecordEntityName"), std::string::npos) << error;
  EXPECT_FALSE(ProfileBuilder("U").AddSyncRecord("../escape", "1", Value::Dict()).Write(dir_ + "/x", &error));
}

}  // namespace
}  // namespace devicesim
