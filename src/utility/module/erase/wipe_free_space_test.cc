// The wipe's passes against a device stand-in that keeps no bytes: what is written where, the progress values,
// how a stop, a full device and a failing device end it, and that "/iostemp" never stays behind.
#include "utility/module/erase/wipe_free_space.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

constexpr int64_t kMiB = 1024 * 1024;
constexpr int32_t kFull = 18;
constexpr int32_t kBroken = 5;

class FakeDevice : public WipeTarget {
 public:
  bool MakeFolder(const std::string& path) override {
    events.push_back("mkdir " + path);
    return can_make_folder;
  }
  int32_t OpenFile(const std::string& path) override {
    events.push_back("open " + path);
    return open_status;
  }
  int32_t Write(const char* data, uint32_t length) override {
    ++writes;
    if (writes > fail_after_writes) return kBroken;
    if (stored + length > capacity) return kFull;
    for (uint32_t i = 0; i < length; i += 4096) EXPECT_EQ(data[i], 0);
    stored += length;
    return 0;
  }
  void CloseFile() override { events.push_back("close"); }
  void EmptyFolder(const std::string& path, bool remove_folder) override {
    events.push_back((remove_folder ? "remove " : "empty ") + path);
    stored = 0;
  }
  bool IsDeviceFull(int32_t status) const override { return status == kFull; }

  bool can_make_folder = true;
  int32_t open_status = 0;
  int64_t capacity = std::numeric_limits<int64_t>::max();
  int64_t fail_after_writes = std::numeric_limits<int64_t>::max();
  int64_t writes = 0;
  int64_t stored = 0;
  std::vector<std::string> events;
};

struct WipeRun {
  WipeOutcome outcome;
  std::vector<int> progress;
};

WipeRun Wipe(FakeDevice& device, int64_t free_bytes, int64_t level, int64_t abort_after_writes = -1) {
  WipeRun run;
  WipeHooks hooks{.aborted = [&] { return abort_after_writes >= 0 && device.writes >= abort_after_writes; },
                  .progress = [&](int percent) { run.progress.push_back(percent); },
                  .local_time = [] { return std::string("20261208141500"); }};
  run.outcome = WipeFreeSpace(device, free_bytes, level, hooks);
  return run;
}

TEST(WipeFreeSpace, OnePassFillsTheFreeSpaceWithHalfGigabyteFilesAndReportsUpTo100) {
  FakeDevice device;
  WipeRun run = Wipe(device, 1024 * kMiB, 1);
  EXPECT_EQ(run.outcome.code, 0);
  EXPECT_EQ(run.outcome.message, "");
  EXPECT_EQ(run.outcome.bytes_written, 1024 * kMiB);
  EXPECT_EQ(run.progress, (std::vector<int>{50, 100}));
  EXPECT_EQ(device.events, (std::vector<std::string>{"mkdir /iostemp", "open /iostemp/20261208141500-1", "close",
                                                     "open /iostemp/20261208141500-2", "close", "empty /iostemp",
                                                     "remove /iostemp"}));
}

TEST(WipeFreeSpace, LevelsSplitTheProgressAndNoMoreThanTwoPassesRun) {
  FakeDevice two;
  WipeRun level2 = Wipe(two, 1024 * kMiB, 2);
  EXPECT_EQ(level2.outcome.code, 0);
  EXPECT_EQ(level2.progress, (std::vector<int>{25, 50, 100}));
  // The second pass writes 1 GiB files and counts them from 1 again.
  EXPECT_EQ(two.events[5], "empty /iostemp");
  EXPECT_EQ(two.events[6], "open /iostemp/20261208141500-1");
  EXPECT_EQ(two.writes, 2 * 128);

  FakeDevice three;
  WipeRun level3 = Wipe(three, 1024 * kMiB, 3);
  EXPECT_EQ(level3.outcome.code, 0);
  EXPECT_EQ(level3.progress, (std::vector<int>{17, 34, 84}));  // ends below 100
  EXPECT_EQ(three.writes, 2 * 128);

  FakeDevice most;
  WipeRun huge = Wipe(most, 1024 * kMiB, std::numeric_limits<int64_t>::max());
  EXPECT_EQ(huge.outcome.code, 0);
  EXPECT_EQ(huge.progress, (std::vector<int>{1, 1, 51}));
}

TEST(WipeFreeSpace, LevelZeroMakesAndRemovesTheFolderAndAnswers2) {
  for (int64_t level : {0, -4}) {
    FakeDevice device;
    WipeRun run = Wipe(device, 100 * kMiB, level);
    EXPECT_EQ(run.outcome.code, 2);
    EXPECT_EQ(device.events, (std::vector<std::string>{"mkdir /iostemp", "remove /iostemp"}));
    EXPECT_TRUE(run.progress.empty());
  }
}

TEST(WipeFreeSpace, NoFreeSpaceCompletesThePassWithoutWriting) {
  FakeDevice device;
  WipeRun run = Wipe(device, 0, 1);
  EXPECT_EQ(run.outcome.code, 0);
  EXPECT_EQ(device.writes, 0);
  EXPECT_TRUE(run.progress.empty());
  EXPECT_EQ(device.events.back(), "remove /iostemp");
}

TEST(WipeFreeSpace, AStopBetweenWritesClosesTheFileAndRemovesTheFolder) {
  FakeDevice device;
  WipeRun run = Wipe(device, 1024 * kMiB, 2, /*abort_after_writes=*/3);
  EXPECT_EQ(run.outcome.code, 6);
  EXPECT_EQ(run.outcome.message, "Task cancelled.");
  EXPECT_EQ(device.writes, 3);
  EXPECT_EQ(device.events, (std::vector<std::string>{"mkdir /iostemp", "open /iostemp/20261208141500-1", "close",
                                                     "empty /iostemp", "remove /iostemp"}));
  EXPECT_TRUE(run.progress.empty());

  FakeDevice before;
  WipeRun early = Wipe(before, 1024 * kMiB, 1, /*abort_after_writes=*/0);
  EXPECT_EQ(early.outcome.code, 6);
  EXPECT_EQ(before.writes, 0);
  EXPECT_EQ(before.events.back(), "remove /iostemp");
}

TEST(WipeFreeSpace, ADeviceThatFillsUpEndsThePassNormallyOnlyAfterMostOfTheFreeSpace) {
  // The figure from the device's arrival was a little high: the device is full at 95 % of it.
  FakeDevice nearly;
  nearly.capacity = 400 * kMiB;
  WipeRun filled = Wipe(nearly, 420 * kMiB, 1);
  EXPECT_EQ(filled.outcome.code, 0);
  EXPECT_EQ(filled.outcome.bytes_written, 400 * kMiB);
  EXPECT_EQ(filled.progress, (std::vector<int>{95}));

  FakeDevice small;
  small.capacity = 64 * kMiB;
  WipeRun short_run = Wipe(small, 420 * kMiB, 1);
  EXPECT_EQ(short_run.outcome.code, 2);
  EXPECT_EQ(short_run.outcome.bytes_written, 64 * kMiB);
  EXPECT_EQ(small.events.back(), "remove /iostemp");
}

TEST(WipeFreeSpace, WritesThatFailAreNotCountedAndNeverReportedAsAWipe) {
  FakeDevice broken;
  broken.fail_after_writes = 0;
  WipeRun from_start = Wipe(broken, 1024 * kMiB, 2);
  EXPECT_EQ(from_start.outcome.code, 17);
  EXPECT_EQ(from_start.outcome.bytes_written, 0);
  EXPECT_TRUE(from_start.progress.empty());
  EXPECT_EQ(broken.events, (std::vector<std::string>{"mkdir /iostemp", "open /iostemp/20261208141500-1", "close",
                                                     "empty /iostemp", "remove /iostemp"}));

  FakeDevice later;
  later.fail_after_writes = 70;  // the second file breaks off
  WipeRun midway = Wipe(later, 1024 * kMiB, 1);
  EXPECT_EQ(midway.outcome.code, 17);
  EXPECT_EQ(midway.outcome.bytes_written, 70 * 8 * kMiB);
  EXPECT_EQ(midway.progress, (std::vector<int>{50, 54}));
}

TEST(WipeFreeSpace, AFileOrFolderTheDeviceRefuses) {
  FakeDevice no_file;
  no_file.open_status = kBroken;
  WipeRun open_failed = Wipe(no_file, 100 * kMiB, 1);
  EXPECT_EQ(open_failed.outcome.code, 17);
  EXPECT_EQ(open_failed.outcome.message, "");
  EXPECT_EQ(no_file.events.back(), "remove /iostemp");

  FakeDevice no_folder;
  no_folder.can_make_folder = false;
  WipeRun mkdir_failed = Wipe(no_folder, 100 * kMiB, 1);
  EXPECT_EQ(mkdir_failed.outcome.code, 47);
  EXPECT_EQ(mkdir_failed.outcome.message, "mkdir /iostemp fail.");
  EXPECT_EQ(no_folder.events, (std::vector<std::string>{"mkdir /iostemp"}));
}

}  // namespace
