// corvane-host as people use it, through the real processes: corvane-host starts the device simulator program and
// Corvane, finds the device itself, draws progress on a terminal, saves streamed files and drives resumable
// uploads, also across a Corvane that is killed mid-transfer.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <rapidjson/document.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "devicesim/profile_builder.h"
#include "harness/corvane_harness.h"
#include "hostlink/child_process.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kUdid[] = "00008110-000A11CE0B0B0042";
constexpr int64_t kMiB = 1024 * 1024;
const std::string kHost = CORVANE_BIN_DIR "/corvane-host";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string Generated(uint64_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (uint64_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(devicesim::ProfileBuilder::GeneratedByte(seed, i));
  return bytes;
}

rapidjson::Document Parse(const std::string& line) {
  rapidjson::Document doc;
  doc.Parse(line.c_str());
  return doc;
}

class CorvaneHostE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir("corvane-host-e2e");
    profile_.SetDeviceName("Field iPhone");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Writes the profile; corvane-host's simulator serves it from there.
  std::string WriteProfile(const devicesim::ProfileBuilder& profile, const std::string& name = "phone") {
    std::string folder = dir_ + "/" + name;
    std::string error;
    EXPECT_TRUE(profile.Write(folder, &error)) << error;
    return folder;
  }

  // Runs corvane-host to its end with stdout and stderr in files; returns its exit code.
  int Run(const std::vector<std::string>& args) {
    hostlink::SpawnOptions options;
    options.program = kHost;
    options.args = args;
    options.stdout_path = dir_ + "/stdout";
    options.stderr_path = dir_ + "/stderr";
    hostlink::ChildProcess host;
    EXPECT_TRUE(host.Spawn(options)) << host.last_error();
    std::optional<hostlink::ExitStatus> status = host.WaitExit(std::chrono::seconds(60));
    EXPECT_TRUE(status && status->exited());
    return status ? status->exit_code : -1;
  }
  std::string Stdout() { return ReadFile(dir_ + "/stdout"); }
  std::string Stderr() { return ReadFile(dir_ + "/stderr"); }
  std::vector<rapidjson::Document> Reports(const std::string& text) {
    std::vector<rapidjson::Document> reports;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      reports.push_back(Parse(line));
      EXPECT_TRUE(reports.back().IsObject()) << line;
    }
    return reports;
  }

  std::string dir_;
  devicesim::ProfileBuilder profile_{kUdid};
};

TEST_F(CorvaneHostE2e, SendWithoutUuidReachesTheDeviceThatArrivesAndDevicesListsIt) {
  std::string phone = WriteProfile(profile_);
  ASSERT_EQ(Run({"--simulator", phone, "send", "300", "{}"}), 0) << Stderr();
  std::vector<rapidjson::Document> reports = Reports(Stdout());
  ASSERT_FALSE(reports.empty());
  const rapidjson::Document& last = reports.back();
  EXPECT_EQ(last["packet_type"].GetInt(), 300);
  EXPECT_EQ(last["header_code"].GetInt(), 1);
  EXPECT_EQ(last["code"].GetInt(), 0);
  EXPECT_STREQ(last["uuid"].GetString(), kUdid);

  ASSERT_EQ(Run({"--simulator", phone, "devices"}), 0) << Stderr();
  EXPECT_EQ(Stdout(), std::string(kUdid) + "  iPhone14,5  iOS 16.4  Field iPhone\n");
}

TEST_F(CorvaneHostE2e, ADeviceThatNeverArrivesEndsWithAClearMessage) {
  std::string phone = WriteProfile(profile_);
  EXPECT_EQ(Run({"--timeout", "3", "-u", "00008110-0000000000000404", "--simulator", phone, "send", "300", "{}"}), 1);
  EXPECT_NE(Stderr().find("device 00008110-0000000000000404 did not become ready within 3 s: Corvane reported "
                          "instead: " + std::string(kUdid) + " is ready"),
            std::string::npos)
      << Stderr();

  devicesim::ProfileBuilder untrusted(kUdid);
  untrusted.SetDeviceName("Field iPhone").SetTrust(devicesim::TrustState::kPending);
  std::string pending = WriteProfile(untrusted, "pending");
  EXPECT_EQ(Run({"--timeout", "3", "--simulator", pending, "send", "300", "{}"}), 1);
  // Corvane cannot read the name or UDID of a device that does not trust this computer yet.
  EXPECT_NE(Stderr().find("no device became ready within 3 s: Corvane reported instead: a device is not ready, "
                          "error 25: it does not trust this computer yet: unlock it and answer \"Trust\" on it"),
            std::string::npos)
      << Stderr();
}

TEST_F(CorvaneHostE2e, SaveWritesTheStreamedFileByteIdenticalAndNamesIt) {
  std::string content = Generated(9 * kMiB + 123, 7);
  profile_.AddFile("DCIM/100APPLE/IMG_0042.MOV", content);
  std::string phone = WriteProfile(profile_);
  std::string saved = dir_ + "/saved";
  fs::create_directory(saved);
  ASSERT_EQ(Run({"--save", saved, "--simulator", phone, "send", "702",
                 R"({"stage":1,"info":{"path":"/DCIM/100APPLE/IMG_0042.MOV"}})"}),
            0)
      << Stderr();
  EXPECT_TRUE(ReadFile(saved + "/IMG_0042.MOV") == content);
  EXPECT_EQ(fs::directory_iterator(saved)->path().filename(), "IMG_0042.MOV");  // no .part left beside it
  std::vector<rapidjson::Document> reports = Reports(Stdout());
  int chunks = 0;
  for (const rapidjson::Document& r : reports) chunks += r["packet_type"].GetInt() == 702 && r["stage"].GetInt() == 2;
  EXPECT_EQ(chunks, 3) << "in a file every chunk's JSON line is written";
  EXPECT_EQ(reports.back()["saved"].GetString(), saved + "/IMG_0042.MOV");
}

// Runs corvane-host with its stdout on a pseudo-terminal and returns everything it wrote there.
std::string RunOnTerminal(const std::vector<std::string>& args, const std::string& stderr_path, int* exit_code) {
  // Everything the child needs is made before the fork: after it, the child only opens, duplicates and executes.
  std::vector<char*> argv{const_cast<char*>(kHost.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int terminal = -1;
  pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    int err = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, STDERR_FILENO);
    execv(kHost.c_str(), argv.data());
    _exit(127);
  }
  std::string output;
  char buffer[4096];
  for (;;) {
    pollfd fd{terminal, POLLIN, 0};
    if (poll(&fd, 1, 60000) <= 0) break;
    ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO once the program has ended and closed the terminal
    output.append(buffer, static_cast<size_t>(got));
  }
  close(terminal);
  int status = 0;
  waitpid(pid, &status, 0);
  *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

TEST_F(CorvaneHostE2e, ProgressOnATerminalUpdatesOneLineAndEndsAtAHundredPercent) {
  profile_.AddGeneratedFile("DCIM/100APPLE/IMG_0042.MOV", 17 * kMiB, 3);
  std::string phone = WriteProfile(profile_);
  int exit_code = -1;
  std::string out = RunOnTerminal(
      {"--simulator", phone, "send", "702", R"({"stage":1,"info":{"path":"/DCIM/100APPLE/IMG_0042.MOV"}})"},
      dir_ + "/stderr", &exit_code);
  ASSERT_EQ(exit_code, 0) << Stderr() << out;

  std::vector<int> percents;
  // The label is shortened from the left to fit the terminal's 80 columns.
  std::regex drawn("\r\033\\[K[^\r]*IMG_0042\\.MOV  \\[[#-]+\\]  ([0-9]+)%");
  for (std::sregex_iterator it(out.begin(), out.end(), drawn), end; it != end; ++it) {
    percents.push_back(std::stoi((*it)[1]));
  }
  ASSERT_GE(percents.size(), 3u) << out;
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end())) << out;
  EXPECT_LT(percents.front(), 100) << out;
  EXPECT_EQ(percents.back(), 100) << out;
  EXPECT_NE(out.find("100%  17.0 MiB/17.0 MiB"), std::string::npos) << out;
  // The chunks are drawn, not printed; the final report still is.
  EXPECT_EQ(out.find("\"offset_length\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"path\":\"/DCIM/100APPLE/IMG_0042.MOV\",\"size\":17825792"), std::string::npos) << out;
}

TEST_F(CorvaneHostE2e, UploadSurvivesAKillOfCorvaneMidTransferAndResumes) {
  std::string phone = WriteProfile(profile_);
  std::string local = dir_ + "/clip.mov";
  std::string content = Generated(40 * kMiB + 17, 5);
  std::ofstream(local, std::ios::binary) << content;
  std::string target = phone + "/afc/DCIM/Uploads/clip.mov";
  fs::create_directories(phone + "/afc/DCIM/Uploads");

  hostlink::SpawnOptions options;
  options.program = kHost;
  options.args = {"--simulator", phone, "upload", local, "/DCIM/Uploads"};
  options.stdout_channel = true;
  options.stderr_path = dir_ + "/stderr";
  hostlink::ChildProcess host;
  ASSERT_TRUE(host.Spawn(options)) << host.last_error();

  // Reads the lines as they come: Corvane's pid from the start report, then the answers of the upload; once two
  // blocks have landed, Corvane is killed. A block is answered before it is written, and the blocks are written
  // one after another: the answer asking for the fourth block (12 MiB on) means the first two have landed.
  pid_t corvane = 0;
  bool killed = false;
  std::string pending;
  char buffer[65536];
  while (!killed) {
    pollfd fd{host.stdout_fd(), POLLIN, 0};
    ASSERT_GT(poll(&fd, 1, 30000), 0) << "corvane-host went quiet";
    ssize_t got = read(host.stdout_fd(), buffer, sizeof buffer);
    ASSERT_GT(got, 0) << "corvane-host ended before two blocks landed: " << Stderr();
    pending.append(buffer, static_cast<size_t>(got));
    for (size_t nl; !killed && (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1)) {
      rapidjson::Document r = Parse(pending.substr(0, nl));
      if (r["packet_type"].GetInt() == 19) corvane = r["info"]["pid"].GetInt();
      if (r["packet_type"].GetInt() == 703 && r["header_code"].GetInt() == 2 &&
          r["info"]["offset"].GetInt64() >= 12 * kMiB) {
        ASSERT_GT(corvane, 0);
        ASSERT_EQ(kill(corvane, SIGKILL), 0);
        killed = true;
      }
      ASSERT_FALSE(r["packet_type"].GetInt() == 703 && r["header_code"].GetInt() == 1)
          << "the upload finished before Corvane could be killed";
    }
  }
  std::optional<hostlink::ExitStatus> status = host.WaitExit(std::chrono::seconds(30));
  ASSERT_TRUE(status);
  EXPECT_EQ(status->exit_code, 1);
  EXPECT_NE(Stderr().find("run the same upload again to resume it"), std::string::npos) << Stderr();
  EXPECT_TRUE(fs::exists(target + ".json")) << "the journal of the interrupted upload";
  EXPECT_FALSE(fs::exists(target));

  ASSERT_EQ(Run({"--simulator", phone, "upload", local, "/DCIM/Uploads"}), 0) << Stderr();
  std::vector<rapidjson::Document> reports = Reports(Stdout());
  const rapidjson::Document* first_answer = nullptr;
  for (const rapidjson::Document& r : reports) {
    if (r["packet_type"].GetInt() == 703 && first_answer == nullptr) first_answer = &r;
  }
  ASSERT_NE(first_answer, nullptr) << Stdout();
  EXPECT_GE((*first_answer)["info"]["offset"].GetInt64(), 8 * kMiB) << "the second run resumes";
  EXPECT_EQ(reports.back()["header_code"].GetInt(), 1);
  EXPECT_TRUE(ReadFile(target) == content);
  EXPECT_FALSE(fs::exists(target + ".json"));
  EXPECT_FALSE(fs::exists(target + ".bak"));
}

}  // namespace
}  // namespace e2e
