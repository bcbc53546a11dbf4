// The helper's life: start reports, running without a host link, quitting when the host goes, crash reports.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "harness/corvane_harness.h"
#include "hostlink/child_process.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

std::optional<hostlink::ExitStatus> WaitExit(hostlink::CorvaneProcess& process, std::chrono::milliseconds limit) {
  return process.WaitExit(limit);
}

TEST(Lifecycle, StartReportsCarryThePidTheTaskIdAndTheMonitorResult) {
  CorvaneHarness corvane;
  corvane.params().task_id = "18446744073709551615";
  corvane.options().env.push_back({"CORVANE_MOBILEDEVICE_LIBRARY", "/nonexistent/libimobiledevice-1.0.so.6"});
  ASSERT_TRUE(corvane.Start());
  auto monitor = corvane.WaitForType(9);
  ASSERT_TRUE(monitor);
  EXPECT_EQ(monitor->header_code, 1);
  EXPECT_EQ(monitor->task_id, 0u);
  EXPECT_EQ(monitor->info, R"({"error_code":9})");
  auto start = corvane.WaitForType(19);
  ASSERT_TRUE(start);
  EXPECT_EQ(start->header_code, 1);
  EXPECT_EQ(start->task_id, 18446744073709551615ull);
  EXPECT_EQ(start->info, "{\"pid\":" + std::to_string(corvane.corvane().pid()) + ",\"task_id\":\"18446744073709551615\"}");
  EXPECT_EQ(start->text_json, "{\"stage\":0,\"code\":0,\"uuid\":\"\",\"type\":0,\"info\":" + start->info + "}");
  EXPECT_TRUE(fs::is_directory(corvane.WorkFolder()));
}

TEST(Lifecycle, WithoutAnAnsweringUsbmuxdTheMonitorReports10) {
  CorvaneHarness corvane;  // its usbmuxd socket names a file that does not exist
  ASSERT_TRUE(corvane.Start());
  auto monitor = corvane.WaitForType(9);
  ASSERT_TRUE(monitor);
  EXPECT_EQ(monitor->info, R"({"error_code":10})");
}

TEST(Lifecycle, WithoutAPortItKeepsRunning) {
  CorvaneHarness corvane;
  corvane.params().omitted.insert(hostlink::kParamPort);
  ASSERT_TRUE(corvane.Start(/*accept=*/false));
  EXPECT_FALSE(WaitExit(corvane.corvane(), 2s));
  EXPECT_TRUE(corvane.corvane().IsRunning());
}

TEST(Lifecycle, MalformedStartParametersAreZeroValues) {
  CorvaneHarness corvane;
  corvane.params().raw_text = "{not json";
  ASSERT_TRUE(corvane.Start(/*accept=*/false));
  EXPECT_FALSE(WaitExit(corvane.corvane(), 1500ms));  // port 0 and pid 0: no link, and it never quits on its own
}

TEST(Lifecycle, AHostPidThatIsNotRunningMakesItQuitAtOnce) {
  CorvaneHarness corvane;
  hostlink::ChildProcess gone;
  hostlink::SpawnOptions true_program;
  true_program.program = "/bin/true";
  ASSERT_TRUE(gone.Spawn(true_program));
  pid_t pid = gone.pid();
  ASSERT_TRUE(gone.WaitExit(5s));
  corvane.params().pid = pid;
  ASSERT_TRUE(corvane.Start());
  auto status = WaitExit(corvane.corvane(), 5s);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->exit_code, 0);
}

TEST(Lifecycle, WhenTheHostDiesItLeavesWithinASecondAndRemovesItsProcessFolder) {
  CorvaneHarness corvane;
  hostlink::ChildProcess host;
  hostlink::SpawnOptions sleeper;
  sleeper.program = "/bin/sleep";
  sleeper.args = {"60"};
  ASSERT_TRUE(host.Spawn(sleeper));
  corvane.params().pid = host.pid();
  ASSERT_TRUE(corvane.Start());
  ASSERT_TRUE(corvane.WaitForType(19));
  fs::create_directories(corvane.ProcessFolder() + "/inner");
  std::ofstream(corvane.ProcessFolder() + "/inner/file") << "x";

  host.Kill(SIGKILL);
  auto killed_at = std::chrono::steady_clock::now();
  ASSERT_TRUE(host.WaitExit(5s));
  auto status = WaitExit(corvane.corvane(), 5s);
  ASSERT_TRUE(status);
  EXPECT_LT(std::chrono::steady_clock::now() - killed_at, 1500ms);
  EXPECT_EQ(status->exit_code, 0);
  EXPECT_FALSE(fs::exists(corvane.ProcessFolder()));
  EXPECT_TRUE(fs::is_directory(corvane.WorkFolder()));
}

TEST(Lifecycle, TerminationSignalIsAnOrderlyQuit) {
  CorvaneHarness corvane;
  ASSERT_TRUE(corvane.Start());
  ASSERT_TRUE(corvane.WaitForType(19));
  fs::create_directories(corvane.ProcessFolder());
  corvane.corvane().Kill(SIGTERM);
  auto status = WaitExit(corvane.corvane(), 5s);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->exit_code, 0);
  EXPECT_FALSE(fs::exists(corvane.ProcessFolder()));
}

TEST(Lifecycle, ACrashLeavesOneArchiveWithTheReportAndTheLogs) {
  CorvaneHarness corvane;
  corvane.params().product = "Prod";
  corvane.params().version = "9.8.7";
  ASSERT_TRUE(corvane.Start());
  ASSERT_TRUE(corvane.WaitForType(19));
  corvane.corvane().Kill(SIGSEGV);
  auto status = WaitExit(corvane.corvane(), 10s);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->signal, SIGSEGV);

  std::vector<std::string> zips, others;
  for (const auto& entry : fs::directory_iterator(corvane.WorkFolder())) {
    if (!entry.is_regular_file()) continue;
    (entry.path().extension() == ".zip" ? zips : others).push_back(entry.path().string());
  }
  ASSERT_EQ(zips.size(), 1u);
  EXPECT_TRUE(others.empty());
  std::string listing_file = corvane.temp_dir() + "/listing";
  ASSERT_EQ(std::system(("unzip -l " + zips[0] + " > " + listing_file).c_str()), 0);
  std::ifstream listing(listing_file);
  std::string text((std::istreambuf_iterator<char>(listing)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Crash.json"), std::string::npos);
  EXPECT_NE(text.find(".dmp"), std::string::npos);
  EXPECT_NE(text.find("Corvane."), std::string::npos);  // the log files

  std::string report_file = corvane.temp_dir() + "/crash.json";
  ASSERT_EQ(std::system(("unzip -p " + zips[0] + " Crash.json > " + report_file).c_str()), 0);
  std::ifstream report(report_file);
  std::string json((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  EXPECT_EQ(json.rfind("{\n    \"Product\": \"Prod\",\n    \"Version\": \"9.8.7\",\n    \"System\": \"Linux ", 0), 0u)
      << json;
}

}  // namespace
}  // namespace e2e
