// The progress line: its layout, and how updates, other output and the end of a task appear on the terminal.
#include "progress_line.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace corvane_host {
namespace {

using namespace std::chrono_literals;

ProgressReading Bytes(int64_t done, int64_t total, std::string label = "/DCIM/a.MOV") {
  return ProgressReading{done, total, ProgressUnit::kBytes, std::move(label)};
}

TEST(ProgressLineTest, BytesShowAmountsRateAndTimeLeft) {
  ProgressView view{Bytes(5 * 1048576, 20 * 1048576), 2.5 * 1048576, 6};
  EXPECT_EQ(FormatProgressLine(view, 100),
            "/DCIM/a.MOV  [#####---------------]  25%  5.0 MiB/20.0 MiB  2.5 MiB/s  0:06 left");
  ProgressView percent{ProgressReading{45, 100, ProgressUnit::kPercent, "com.x.app"}, std::nullopt, 3725};
  EXPECT_EQ(FormatProgressLine(percent, 100), "com.x.app  [#########-----------]  45%  1:02:05 left");
}

TEST(ProgressLineTest, NarrowTerminalsShortenTheLabelFirstThenDropTheBar) {
  ProgressView view{Bytes(512, 1024, "/a/very/long/device/path/IMG_0042.MOV"), std::nullopt, std::nullopt};
  std::string line = FormatProgressLine(view, 60);
  EXPECT_EQ(line.size(), 60u) << line;
  EXPECT_EQ(line.rfind("...", 0), 0u) << line;
  EXPECT_NE(line.find("[######------]"), std::string::npos) << "a narrow bar below 100 columns: " << line;
  EXPECT_NE(line.find("G_0042.MOV  ["), std::string::npos) << line;
  EXPECT_EQ(FormatProgressLine(view, 25), "50%  512 B/1.0 KiB");
  EXPECT_LE(FormatProgressLine(view, 10).size(), 10u);
}

TEST(ProgressLineTest, DeviceTextCannotSteerTheTerminal) {
  ProgressView view{Bytes(1, 2, "evil\033[2J\rname"), std::nullopt, std::nullopt};
  std::string line = FormatProgressLine(view, 100);
  EXPECT_EQ(line.find('\033'), std::string::npos);
  EXPECT_EQ(line.find('\r'), std::string::npos);
}

class ProgressLineOutput : public ::testing::Test {
 protected:
  void SetUp() override { out_ = open_memstream(&buffer_, &size_); }
  void TearDown() override {
    if (out_ != nullptr) std::fclose(out_);
    free(buffer_);
  }
  std::string Output() {
    std::fflush(out_);
    return std::string(buffer_, size_);
  }
  char* buffer_ = nullptr;
  size_t size_ = 0;
  FILE* out_ = nullptr;
};

TEST_F(ProgressLineOutput, UpdatesReplaceTheLineAndSuccessEndsItComplete) {
  ProgressLine line(out_, 200);
  auto t0 = ProgressLine::Clock::now();
  line.Update(7, Bytes(100, 1000), t0);
  line.Update(7, Bytes(600, 1000), t0 + 1s);
  line.Hide();
  std::fputs("a JSON line\n", out_);
  line.Show();
  line.Finish(7, true, t0 + 2s);
  std::string out = Output();
  EXPECT_NE(out.find("\r\033[K/DCIM/a.MOV  [##------------------]  10%"), std::string::npos) << out;
  EXPECT_NE(out.find("60%  600 B/1000 B  500 B/s  0:01 left"), std::string::npos) << out;
  EXPECT_NE(out.find("\r\033[Ka JSON line\n\r\033[K/DCIM/a.MOV  [############"), std::string::npos) << out;
  EXPECT_EQ(out.substr(out.size() - 3), "/s\n") << out;
  EXPECT_NE(out.rfind("100%  1000 B/1000 B"), std::string::npos) << out;
}

TEST_F(ProgressLineOutput, FailureKeepsWhereItStoppedAndAnotherItemStartsANewLine) {
  ProgressLine line(out_, 200);
  auto t0 = ProgressLine::Clock::now();
  line.Update(7, Bytes(300, 1000, "one"), t0);
  line.Update(7, Bytes(10, 100, "two"), t0);  // the next package of the same task
  line.Finish(8, true, t0);                   // another task's end changes nothing here
  line.Finish(7, false, t0);
  std::string out = Output();
  EXPECT_NE(out.find("30%  300 B/1000 B\n"), std::string::npos) << out;
  EXPECT_NE(out.find("two  [##------------------]  10%  10 B/100 B\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("100%"), std::string::npos) << out;
}

}  // namespace
}  // namespace corvane_host
