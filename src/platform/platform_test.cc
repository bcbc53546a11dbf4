#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/elevation.h"
#include "platform/platform.h"
#include "platform/socket.h"
#include "platform/sync_redirector.h"

namespace platform {
namespace {

TEST(Process, RunningProcessesAndTheIdleProcess) {
  EXPECT_TRUE(IsProcessRunning(CurrentProcessId()));
  EXPECT_TRUE(IsProcessRunning(0));
  EXPECT_FALSE(IsProcessRunning(-5));
  EXPECT_EQ(ExecutableName(), "platform_test");
}

TEST(Process, ExitedChildCountsAsGoneEvenBeforeItIsReaped) {
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  // Give the child time to exit; it stays a zombie until waitpid below.
  for (int i = 0; i < 200 && IsProcessRunning(child); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(IsProcessRunning(child));
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_FALSE(IsProcessRunning(child));
}

TEST(Process, NamePatternsAreSplitAtSemicolonsAndMayIgnoreCase) {
  EXPECT_TRUE(AnyProcessMatches("nothing-like-it;platform_tes?", false));
  EXPECT_TRUE(AnyProcessMatches("PLATFORM_TEST", true));
  EXPECT_FALSE(AnyProcessMatches("PLATFORM_TEST", false));
  EXPECT_FALSE(AnyProcessMatches("", true));
}

TEST(Folders, TempFolderEndsInSlashAndFollowsTmpdir) {
  std::string saved = GetEnvironment("TMPDIR");
  setenv("TMPDIR", "/some/where", 1);
  EXPECT_EQ(TempFolder(), "/some/where/");
  unsetenv("TMPDIR");
  EXPECT_EQ(TempFolder(), "/tmp/");
  if (!saved.empty()) setenv("TMPDIR", saved.c_str(), 1);
}

TEST(Folders, CreateAndRemoveTrees) {
  std::string root = testing::TempDir() + "/platform_tree";
  ASSERT_TRUE(CreateDirectories(root + "/a/b/c"));
  std::ofstream(root + "/a/b/file") << "x";
  EXPECT_TRUE(PathExists(root + "/a/b/file"));
  EXPECT_GT(FreeBytes(root), 0);
  EXPECT_TRUE(RemoveTree(root));
  EXPECT_FALSE(PathExists(root));
  EXPECT_TRUE(RemoveTree(root));  // nothing there is fine
}

TEST(SyncRedirector, CollectsOutputAndErrorAndTheExitCode) {
  SyncRedirector runner;
  std::string output;
  int code = -1;
  ASSERT_TRUE(runner.Run("sh -c \"echo out; echo err 1>&2; exit 3\"", &output, &code));
  EXPECT_EQ(code, 3);
  EXPECT_NE(output.find("out\n"), std::string::npos);
  EXPECT_NE(output.find("err\n"), std::string::npos);
}

TEST(SyncRedirector, LongOutputArrivesWholeAndStdinIsAtEnd) {
  SyncRedirector runner;
  std::string output;
  int code = -1;
  ASSERT_TRUE(runner.Run("sh -c \"cat; yes x | head -n 50000\"", &output, &code));
  EXPECT_EQ(code, 0);
  std::string expected;
  for (int i = 0; i < 50000; ++i) expected += "x\n";
  EXPECT_EQ(output.size(), expected.size());
  EXPECT_TRUE(output == expected);
}

TEST(SyncRedirector, MissingProgramReportsTheStartFailure) {
  std::string error;
  SyncRedirector runner([&](const std::string& text) { error += text; });
  std::string output;
  int code = 0;
  EXPECT_FALSE(runner.Run("no-such-program-here --flag", &output, &code));
  EXPECT_EQ(error, "Redirect console error: 2\r\n");
}

TEST(SyncRedirector, QuotesGroupWords) {
  EXPECT_EQ(SyncRedirector::SplitCommandLine("taskkill /f  /im \"a b.exe\""),
            (std::vector<std::string>{"taskkill", "/f", "/im", "a b.exe"}));
}

// The elevation launcher: "none" runs the program itself, a named launcher runs it, a missing one fails.
TEST(Elevation, TheLauncherRunsTheProgramOrTheStartFails) {
  char pattern[] = "/tmp/elevate.XXXXXX";
  std::string dir = ::mkdtemp(pattern);
  std::string marker = dir + "/ran";
  std::string launcher = dir + "/launcher.sh";
  std::ofstream(launcher) << "#!/bin/sh\necho launcher >> " << marker << "\nexec \"$@\"\n";
  ::chmod(launcher.c_str(), 0755);
  auto wait_for_lines = [&](size_t lines) {
    for (int i = 0; i < 500; ++i) {
      std::ifstream in(marker);
      std::string text((std::istreambuf_iterator<char>(in)), {});
      if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= lines) return text;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::string();
  };
  ::setenv("CORVANE_ELEVATE", "none", 1);
  ASSERT_TRUE(platform::LaunchElevated("/bin/sh", {"-c", "echo direct >> " + marker}));
  EXPECT_EQ(wait_for_lines(1), "direct\n");
  ::setenv("CORVANE_ELEVATE", launcher.c_str(), 1);
  ASSERT_TRUE(platform::LaunchElevated("/bin/sh", {"-c", "echo elevated >> " + marker}));
  EXPECT_EQ(wait_for_lines(3), "direct\nlauncher\nelevated\n");
  ::setenv("CORVANE_ELEVATE", (dir + "/missing").c_str(), 1);
  EXPECT_FALSE(platform::LaunchElevated("/bin/sh", {"-c", "true"}));
  std::string path = platform::GetEnvironment("PATH");
  ::unsetenv("CORVANE_ELEVATE");
  ::setenv("PATH", dir.c_str(), 1);  // no pkexec there
  EXPECT_FALSE(platform::LaunchElevated("/bin/sh", {"-c", "true"}));
  ::setenv("PATH", path.c_str(), 1);
  platform::RemoveTree(dir);
}

TEST(Socket, LoopbackRoundTripAndWakeEvent) {
  std::string failed;
  int port = FindFreePort(&failed);
  ASSERT_GT(port, 0) << failed;
  SocketHandle listener = ListenLoopback(static_cast<uint16_t>(port), 4);
  ASSERT_NE(listener, kInvalidSocket);
  SocketHandle client = ConnectLoopback(static_cast<uint16_t>(port));
  ASSERT_NE(client, kInvalidSocket);
  SocketHandle server = AcceptConnection(listener);
  ASSERT_NE(server, kInvalidSocket);
  ASSERT_TRUE(SetNonBlocking(server, true));
  ASSERT_TRUE(SendAll(client, "hello", 5));

  WakeEvent wake;
  std::vector<bool> readable;
  ASSERT_EQ(WaitReadable({server}, wake.fd(), 1000, &readable), 1);
  EXPECT_TRUE(readable[0]);
  char buffer[16];
  EXPECT_EQ(Receive(server, buffer, sizeof buffer), 5);
  wake.Signal();
  EXPECT_EQ(WaitReadable({server}, wake.fd(), 1000, &readable), 1);
  EXPECT_FALSE(readable[0]);
  wake.Clear();
  EXPECT_EQ(WaitReadable({server}, wake.fd(), 10, &readable), 0);

  CloseSocket(client);
  ASSERT_EQ(WaitReadable({server}, -1, 1000, &readable), 1);
  EXPECT_EQ(Receive(server, buffer, sizeof buffer), 0);
  CloseSocket(server);
  CloseSocket(listener);
  EXPECT_EQ(ConnectLoopback(static_cast<uint16_t>(port)), kInvalidSocket);
}

}  // namespace
}  // namespace platform
