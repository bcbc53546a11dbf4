// Wiping free space (1701) on a simulated phone with a small data partition: the passes really fill it, the
// device's "full" ends them, and nothing is left behind.
#include "erase/erase_scenario.h"

namespace e2e {
namespace {

class Wipe : public EraseScenario {
 protected:
  std::vector<std::string> Percents(const CommandRun& run) {
    std::vector<std::string> percents;
    for (const hostlink::Report& report : run.reports) percents.push_back(report.info);
    return percents;
  }
};

TEST_F(Wipe, AFewHundredMiBAreReallyWrittenUntilTheDeviceIsFull) {
  // 300 MiB is no whole number of 8 MiB blocks: the device is full after 296 MiB, which is near enough.
  phone_.SetAfcStorage(300 * kMiB);
  ASSERT_TRUE(Start());
  CommandRun wipe = Erase(1701, R"({"level":1})");
  EXPECT_EQ(wipe.code(), 0);
  EXPECT_EQ(wipe.final_report->header_code, 1);
  EXPECT_EQ(wipe.final_report->info, R"({"error":""})");
  EXPECT_EQ(Percents(wipe), std::vector<std::string>{R"({"percent":98})"});
  EXPECT_EQ(wipe.reports[0].stage, 0);
  EXPECT_EQ(Requests("FILE_WRITE"), 38u);
  EXPECT_FALSE(DeviceHas("/iostemp"));
}

TEST_F(Wipe, TwoPassesShareTheProgressAndAThirdNeverRuns) {
  phone_.SetAfcStorage(24 * kMiB);
  ASSERT_TRUE(Start());
  CommandRun two = Erase(1701, R"({"level":2})");
  EXPECT_EQ(two.code(), 0);
  EXPECT_EQ(Percents(two), (std::vector<std::string>{R"({"percent":50})", R"({"percent":100})"}));
  CommandRun three = Erase(1701, R"({"level":3})");
  EXPECT_EQ(three.code(), 0);
  EXPECT_EQ(Percents(three), (std::vector<std::string>{R"({"percent":34})", R"({"percent":84})"}));
  EXPECT_EQ(Requests("FILE_WRITE"), 4u * 4u);  // 3 writes and a refused one, per pass, two passes each
  EXPECT_FALSE(DeviceHas("/iostemp"));
}

TEST_F(Wipe, ADeviceThatTakesNothingIsNotReportedAsWiped) {
  // The device announced 64 MiB free but refuses every byte.
  phone_.SetAfcStorage(0).SetAfcDeviceInfo("iPhone14,5", 128 * kMiB, 64 * kMiB);
  ASSERT_TRUE(Start());
  CommandRun wipe = Erase(1701, R"({"level":1})");
  EXPECT_EQ(wipe.code(), 2);
  EXPECT_TRUE(wipe.reports.empty());
  EXPECT_FALSE(DeviceHas("/iostemp"));
}

TEST_F(Wipe, AStopDuringTheWritesClosesTheFileAndRemovesTheFolder) {
  phone_.SetAfcStorage(400 * kMiB);
  ASSERT_TRUE(Start());
  // The fourth write is held until the stop has been answered, so the stop lands in the middle of the file.
  int stall = corvane_.simulator().StallRequests({.channel = "afc", .name = "FILE_WRITE"}, 3);
  ASSERT_TRUE(corvane_.host().SendCommand(300, 1701, std::string("{\"uuid\":\"") + kPhoneUdid + "\"}",
                                          Deflated(R"({"level":1})")));
  ASSERT_TRUE(corvane_.simulator().WaitStalled(stall, 1, 30s));
  ASSERT_TRUE(corvane_.Run(301, 600, R"({"info":{"task_id":"300"}})"));
  corvane_.simulator().ReleaseStall(stall);
  auto stopped = corvane_.host().WaitFor(hostlink::FinalOf(300, 1701), 30s);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->code, 6);
  EXPECT_EQ(stopped->header_code, 5);
  EXPECT_EQ(stopped->info, R"({"error":"Task cancelled."})");
  EXPECT_EQ(Requests("FILE_WRITE"), 4u);
  EXPECT_EQ(Requests("FILE_CLOSE"), 1u);
  EXPECT_FALSE(DeviceHas("/iostemp"));
}

TEST_F(Wipe, LevelZeroMarkersAndBadInputChangeNothing) {
  phone_.SetAfcStorage(16 * kMiB);
  ASSERT_TRUE(Start());
  CommandRun level0 = Erase(1701, R"({"other":1})");
  EXPECT_EQ(level0.code(), 2);
  EXPECT_EQ(Requests("MAKE_DIR"), 1u);
  EXPECT_EQ(Requests("FILE_OPEN"), 0u);
  EXPECT_FALSE(DeviceHas("/iostemp"));

  std::string device = std::string("{\"uuid\":\"") + kPhoneUdid + "\"}";
  ASSERT_TRUE(corvane_.host().SendCommand(311, 1701, device, Deflated(R"({"level":1})"), "0"));
  auto not_one = corvane_.host().WaitFor(hostlink::FinalOf(311, 1701), 30s);
  ASSERT_TRUE(not_one);
  EXPECT_EQ(not_one->code, 0);
  EXPECT_EQ(Requests("MAKE_DIR"), 1u);

  EXPECT_EQ(Command(1701, "not zlib").code(), 8);
  EXPECT_EQ(Command(1701, Deflated(R"({"level":1})"), "").code(), 7);
  EXPECT_EQ(Command(1701, Deflated(R"({"level":1})"), "no-such-device").code(), 7);
  auto bad_json = corvane_.Run(312, 1701, "{not json");
  ASSERT_TRUE(bad_json);
  EXPECT_EQ(bad_json->code, 21);
  // Without a "uuid" member there is no answer at all; the next command is answered as usual.
  ASSERT_TRUE(corvane_.host().SendCommand(313, 1701, "{}", Deflated(R"({"level":1})")));
  EXPECT_EQ(Command(1701, Deflated("{}")).code(), 2);
  EXPECT_TRUE(corvane_.TakeReportsOf(313).empty());
}

TEST_F(Wipe, AFolderInTheWayAnswers47) {
  phone_.AddFile("iostemp", "a file where the folder should go");
  ASSERT_TRUE(Start());
  CommandRun wipe = Erase(1701, R"({"level":1})");
  EXPECT_EQ(wipe.code(), 47);
  EXPECT_EQ(wipe.final_report->info, R"({"error":"mkdir /iostemp fail."})");
}

}  // namespace
}  // namespace e2e
