#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "hostlink/corvane_process.h"
#include "hostlink/simulator_process.h"

namespace hostlink {
namespace {

using namespace std::chrono_literals;

const std::string kStubCorvane = CORVANE_SOURCE_DIR "/tools/host/testdata/stub_corvane.sh";
const std::string kStubSimulator = CORVANE_SOURCE_DIR "/tools/host/testdata/stub_devicesim.sh";

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "hostlink-process-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Read(const std::string& name) {
    std::ifstream in(dir_ + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Waits until file `name` holds `text` (the stub writes it while the test goes on).
  bool WaitForFileText(const std::string& name, const std::string& text) {
    for (auto deadline = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < deadline;) {
      if (Read(name).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }

  CorvaneOptions StubOptions(const std::string& mode) {
    CorvaneOptions options;
    options.program = kStubCorvane;
    options.env = {{"STUB_DIR", dir_}, {"STUB_MODE", mode}, {"STUB_EXIT_CODE", "7"}, {"STUB_VALUE", "a b=c"}};
    options.stdout_path = dir_ + "/out";
    options.stderr_path = dir_ + "/err";
    return options;
  }

  std::string dir_;
};

TEST_F(ProcessTest, CorvaneGetsTheWholeJsonAsItsOnlyArgumentPlusTheExtraEnvironment) {
  StartParams params = StartParams::ForListener(5555);
  params.brand = "A \"quoted\" brand";
  CorvaneProcess corvane;
  ASSERT_TRUE(corvane.Start(params, StubOptions("exit"))) << corvane.last_error();
  EXPECT_GT(corvane.pid(), 0);
  std::optional<ExitStatus> status = corvane.WaitExit(10s);
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->exited());
  EXPECT_EQ(status->exit_code, 7);
  EXPECT_FALSE(corvane.IsRunning());

  EXPECT_EQ(Read("argc"), "1");
  EXPECT_EQ(Read("argv1"), params.ToJson());
  EXPECT_EQ(corvane.command_line(), params.ToJson());
  EXPECT_EQ(Read("env"), "a b=c");
  EXPECT_EQ(Read("out"), "to stdout\n");
  EXPECT_EQ(Read("err"), "to stderr\n");
}

TEST_F(ProcessTest, OneOutputFileCanTakeBothStreams) {
  CorvaneOptions options = StubOptions("exit");
  options.stderr_path = options.stdout_path;
  CorvaneProcess corvane;
  ASSERT_TRUE(corvane.Start(StartParams(), options)) << corvane.last_error();
  ASSERT_TRUE(corvane.WaitExit(10s));
  EXPECT_EQ(Read("out"), "to stdout\nto stderr\n");
}

TEST_F(ProcessTest, RunningChildOutlastsAShortWaitAndEndsBySignal) {
  CorvaneProcess corvane;
  ASSERT_TRUE(corvane.Start(StartParams(), StubOptions("sleep"))) << corvane.last_error();
  EXPECT_TRUE(corvane.IsRunning());
  EXPECT_FALSE(corvane.WaitExit(50ms));
  EXPECT_TRUE(corvane.Kill(SIGINT));
  std::optional<ExitStatus> status = corvane.WaitExit(10s);
  ASSERT_TRUE(status);
  EXPECT_FALSE(status->exited());
  EXPECT_EQ(status->signal, SIGINT);
  EXPECT_FALSE(corvane.Kill(SIGKILL));  // nothing left to signal
}

TEST_F(ProcessTest, StopEscalatesToSigkillWhenTermIsIgnored) {
  CorvaneProcess corvane;
  ASSERT_TRUE(corvane.Start(StartParams(), StubOptions("stubborn"))) << corvane.last_error();
  ASSERT_TRUE(WaitForFileText("out", "ready"));
  std::optional<ExitStatus> status = corvane.Stop(200ms);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->signal, SIGKILL);
}

TEST_F(ProcessTest, DestroyingTheOwnerLeavesNoProcessBehind) {
  pid_t pid = 0;
  {
    CorvaneProcess corvane;
    ASSERT_TRUE(corvane.Start(StartParams(), StubOptions("sleep"))) << corvane.last_error();
    pid = corvane.pid();
  }
  // Reaped, not only killed: even a zombie would still answer kill(pid, 0).
  EXPECT_EQ(kill(pid, 0), -1);
}

TEST_F(ProcessTest, MissingProgramIsReportedAtStart) {
  CorvaneProcess corvane;
  CorvaneOptions options;
  options.program = dir_ + "/no-such-program";
  EXPECT_FALSE(corvane.Start(StartParams(), options));
  EXPECT_NE(corvane.last_error().find("no-such-program"), std::string::npos);
  EXPECT_FALSE(corvane.IsRunning());
}

TEST_F(ProcessTest, SimulatorAnnouncesItsSocketAndAnswersCommands) {
  SimulatorProcess sim;
  SimulatorOptions options;
  options.program = kStubSimulator;
  options.profiles = {"/p1", "/p 2"};
  options.detached = true;
  ASSERT_TRUE(sim.Start(options, 10s)) << sim.last_error();
  EXPECT_EQ(sim.socket_address().rfind("UNIX:/", 0), 0u) << sim.socket_address();
  EXPECT_EQ(sim.CorvaneEnv(), (EnvVars{{"USBMUXD_SOCKET_ADDRESS", sim.socket_address()}}));
  EXPECT_EQ(sim.OutputLines().front(), "args --profile /p1 --profile /p 2 --detached");

  ASSERT_TRUE(sim.Command("attach phone"));
  ASSERT_TRUE(sim.Command("trust phone"));
  EXPECT_EQ(sim.WaitForOutput("ok ", 10s), "ok attach phone");
  EXPECT_EQ(sim.WaitForOutput("ok ", 10s), "ok trust phone");
  EXPECT_FALSE(sim.WaitForOutput("ok ", 50ms));

  std::optional<ExitStatus> status = sim.Quit();
  ASSERT_TRUE(status);
  EXPECT_EQ(status->exit_code, 0);  // it ended on "quit", not on a signal
}

TEST_F(ProcessTest, SimulatorThatEndsBeforeListeningFailsToStart) {
  SimulatorProcess sim;
  SimulatorOptions options;
  options.program = "/bin/true";
  EXPECT_FALSE(sim.Start(options, 10s));
  EXPECT_NE(sim.last_error().find("before it listened"), std::string::npos) << sim.last_error();
}

}  // namespace
}  // namespace hostlink
