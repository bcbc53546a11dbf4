// A device that refuses, breaks off or falls silent: every phase of a session ends the command with 13 and
// reports no list, so a broken read never passes for an empty or complete address book; the next command on a
// healthy connection works again.
#include <chrono>
#include <thread>

#include "sync_scenario.h"

namespace e2e {
namespace {

constexpr char kContacts[] = "com.apple.Contacts";
constexpr int kBatches = 3;  // 5 contacts in batches of 2

class SyncFailures : public SyncScenario {
 protected:
  SyncFailures() {
    phone_.SetSyncBatchSize(2);
    for (const char* id : {"1", "2", "3", "4", "5"}) {
      phone_.AddSyncRecord(kContacts, id, SyncRecord("com.apple.contacts.Contact", {{"first name", id}}));
    }
  }
};

TEST_F(SyncFailures, ARefusedOrCancelledClassEndsWith13AndNoList) {
  phone_.SetSyncClass(kContacts, {.answer = "refuse", .reason = "Contacts are kept in the cloud"});
  phone_.SetSyncClass("com.apple.Notes", {.answer = "cancel"});
  ASSERT_TRUE(Start());
  SyncRun contacts = Command(100);
  EXPECT_EQ(contacts.code(), 13);
  EXPECT_TRUE(contacts.reports.empty());
  SyncRun notes = Command(1200);
  EXPECT_EQ(notes.code(), 13);
  EXPECT_TRUE(notes.reports.empty());
  EXPECT_EQ(Command(103, "\"id\":\"1\"").code(), 13);
  // Nothing after the refusal was asked for.
  EXPECT_EQ(CountLog({.channel = "com.apple.mobilesync", .name = "SDMessageGetAllRecordsFromDevice"}), 0u);
  EXPECT_EQ(CountLog({.channel = "com.apple.mobilesync", .name = "SDMessageGetChangesFromDevice"}), 0u);
}

// The device's messages of a read: version exchange, ready, sync answer, the batches, ready to receive, finished.
// A cut after each of them but the last.
class ReadCut : public SyncFailures, public ::testing::WithParamInterface<int> {};

TEST_P(ReadCut, ReportsNothingAndTheNextReadIsWhole) {
  phone_.SetSyncFault({.times = 1, .after_messages = static_cast<uint64_t>(GetParam())});
  ASSERT_TRUE(Start());
  SyncRun broken = Command(100);
  EXPECT_EQ(broken.code(), 13);
  EXPECT_TRUE(broken.reports.empty());
  SyncRun whole = Command(100);
  EXPECT_EQ(whole.code(), 0);
  ASSERT_EQ(whole.Of(100, 1).size(), 1u);
  EXPECT_EQ(whole.Of(100, 1)[0].info, R"({"Count":5})");
}

INSTANTIATE_TEST_SUITE_P(EveryPhase, ReadCut, ::testing::Values(1, 2, 3, 4, 3 + kBatches, 4 + kBatches));

// Drained batches and the device's readiness, then the cut: the delete's answer never comes.
TEST_F(SyncFailures, ADeleteWhoseAnswerNeverComesIsNoSuccess) {
  phone_.SetSyncFault({.times = 1, .after_messages = 4 + kBatches});
  ASSERT_TRUE(Start());
  EXPECT_EQ(Command(103, "\"id\":\"2\"").code(), 13);
  EXPECT_EQ(ReadStore(kContacts, 106)->records.count("2"), 1u);
}

// A cut while the device's own changes are drained.
TEST_F(SyncFailures, AGroupAddCutWhileDrainingIsNoSuccess) {
  phone_.SetSyncFault({.times = 1, .after_messages = 4});
  ASSERT_TRUE(Start());
  SyncRun run = Command(104, "\"id\":\"t\",\"name\":\"G\"");
  EXPECT_EQ(run.code(), 13);
  EXPECT_TRUE(run.reports.empty());
}

TEST_F(SyncFailures, ADeviceThatNeverSaysReadyTimesOutInsteadOfHanging) {
  phone_.SetSyncFault({.times = 1, .after_messages = 1, .stall = true});
  ASSERT_TRUE(Start());
  auto started = std::chrono::steady_clock::now();
  SyncRun run = Command(100, "", "", 120s);
  EXPECT_EQ(run.code(), 13);
  EXPECT_TRUE(run.reports.empty());
  EXPECT_LT(std::chrono::steady_clock::now() - started, 60s);
  EXPECT_EQ(Command(100).code(), 0);
}

TEST_F(SyncFailures, AStopReachesARead) {
  // One batch, then silence: the read waits for the next one until the host stops it.
  phone_.SetSyncFault({.times = 1, .after_messages = 4, .stall = true});
  ASSERT_TRUE(Start());
  ASSERT_TRUE(corvane_.host().SendCommand(500, 100, std::string("{\"uuid\":\"") + udid_ + "\"}", ""));
  std::this_thread::sleep_for(1s);
  auto started = std::chrono::steady_clock::now();
  corvane_.Run(501, 600, R"({"info":{"task_id":"500"}})");
  auto stopped = corvane_.host().WaitFor(hostlink::FinalOf(500, 100), 30s);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->code, 6);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  for (const hostlink::Report& report : corvane_.TakeReportsOf(500)) EXPECT_NE(report.stage, 1);
}

}  // namespace
}  // namespace e2e
