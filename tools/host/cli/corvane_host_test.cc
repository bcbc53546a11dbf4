// corvane-host as a program, against fake_corvane (a stand-in that speaks Corvane's side of the host link).
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "hostlink/child_process.h"

namespace corvane_host {
namespace {

using namespace std::chrono_literals;

class CorvaneHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-host-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs corvane-host with `args` (after --corvane fake_corvane unless told otherwise) and feeds it `input`.
  int Run(std::vector<std::string> args, const std::string& input = "", hostlink::EnvVars env = {}) {
    hostlink::SpawnOptions options;
    options.program = CORVANE_BIN_DIR "/corvane-host";
    options.args = std::move(args);
    options.env = std::move(env);
    options.stdout_path = dir_ + "/stdout";
    options.stderr_path = dir_ + "/stderr";
    options.stdin_channel = true;
    hostlink::ChildProcess host;
    EXPECT_TRUE(host.Spawn(options)) << host.last_error();
    host.WriteStdin(input);
    host.CloseStdin();
    std::optional<hostlink::ExitStatus> status = host.WaitExit(30s);
    EXPECT_TRUE(status && status->exited());
    return status ? status->exit_code : -1;
  }

  std::vector<std::string> Args(std::vector<std::string> rest) {
    rest.insert(rest.begin(), {"--corvane", FAKE_CORVANE_PATH});
    return rest;
  }

  std::string Read(const std::string& name) {
    std::ifstream in(dir_ + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Every stdout line, each parsed as a JSON object.
  std::vector<rapidjson::Document> Reports() {
    std::vector<rapidjson::Document> out;
    std::istringstream lines(Read("stdout"));
    for (std::string line; std::getline(lines, line);) {
      out.emplace_back();
      out.back().Parse(line.c_str());
      EXPECT_TRUE(out.back().IsObject()) << line;
    }
    return out;
  }

  std::string dir_;
};

TEST_F(CorvaneHostTest, StartPrintsTheStartUpReportsAsJsonLines) {
  ASSERT_EQ(Run(Args({"--param", "task_id=31", "start"})), 0) << Read("stderr");
  std::vector<rapidjson::Document> reports = Reports();
  ASSERT_EQ(reports.size(), 2u) << Read("stdout");
  EXPECT_EQ(reports[0]["packet_type"].GetInt(), 19);
  EXPECT_EQ(reports[0]["task_id"].GetInt(), 31);
  EXPECT_STREQ(reports[0]["info"]["task_id"].GetString(), "31");
  EXPECT_EQ(reports[1]["packet_type"].GetInt(), 9);
  EXPECT_EQ(reports[1]["info"]["error_code"].GetInt(), 9);
}

TEST_F(CorvaneHostTest, SendPrintsEveryReportUntilTheFinalOneOfItsTask) {
  std::ofstream(dir_ + "/data", std::ios::binary) << "12345";
  ASSERT_EQ(Run(Args({"send", "600", R"({"info":{"a":1}})", "--data", dir_ + "/data", "--marker", "4",
                      "--task-id", "9"})),
            0)
      << Read("stderr");
  std::vector<rapidjson::Document> reports = Reports();
  ASSERT_EQ(reports.size(), 5u) << Read("stdout");
  const rapidjson::Document& echo = reports[2];
  EXPECT_EQ(echo["task_id"].GetInt(), 9);
  EXPECT_EQ(echo["header_code"].GetInt(), 2);
  EXPECT_EQ(echo["data"]["info"]["a"].GetInt(), 1);  // UTF-8 JSON data are shown as JSON
  EXPECT_EQ(reports[3]["data"]["size"].GetInt(), 4);
  EXPECT_TRUE(reports[3]["data_compressed"].GetBool());
  const rapidjson::Document& final_report = reports[4];
  EXPECT_EQ(final_report["header_code"].GetInt(), 1);
  EXPECT_STREQ(final_report["info"]["marker"].GetString(), "4");
  EXPECT_EQ(final_report["info"]["data_size"].GetInt(), 5);
}

TEST_F(CorvaneHostTest, FailedCommandGivesItsOwnExitCode) {
  EXPECT_EQ(Run(Args({"send", "600", R"({"fail":1})"})), 3);
  EXPECT_NE(Read("stderr").find("header code 6"), std::string::npos) << Read("stderr");
}

TEST_F(CorvaneHostTest, SessionRunsLinesFromStdinAndNumbersTasks) {
  std::string input =
      "send 600 {\"info\": {\"x\": 1}}\n"
      "wait\n"
      "wait\n"  // the final report has come already: nothing more to wait for
      "# a comment\n"
      "send 1800 {\"fail\": true}\n"
      "sleep 300\n"
      "quit\n";
  ASSERT_EQ(Run(Args({"session"}), input), 0) << Read("stderr");
  std::vector<std::pair<int, int>> finals;  // (task id, header code) of each final report
  for (const rapidjson::Document& r : Reports()) {
    int code = r["header_code"].GetInt();
    if (r["packet_type"].GetInt() != 19 && r["packet_type"].GetInt() != 9 && code != 2) {
      finals.emplace_back(r["task_id"].GetInt(), code);
    }
  }
  EXPECT_EQ(finals, (std::vector<std::pair<int, int>>{{2, 1}, {3, 6}})) << Read("stdout");
}

TEST_F(CorvaneHostTest, FailuresOnTheWayEndWithAClearMessage) {
  EXPECT_EQ(Run({"--corvane", "/bin/true", "start"}), 1);
  EXPECT_NE(Read("stderr").find("ended before it connected"), std::string::npos) << Read("stderr");

  EXPECT_EQ(Run(Args({"--timeout", "1", "start"}), "", {{"FAKE_CORVANE_SILENT", "1"}}), 1);
  EXPECT_NE(Read("stderr").find("timed out waiting for the start report"), std::string::npos) << Read("stderr");

  EXPECT_EQ(Run(Args({"session"}), "wait 1\nquit\n"), 1);
  EXPECT_NE(Read("stderr").find("wait: no command has been sent"), std::string::npos) << Read("stderr");

  EXPECT_EQ(Run(Args({"session"}), "wait-type 5 1\nbogus\nquit\n"), 1);
  EXPECT_NE(Read("stderr").find("unknown session command"), std::string::npos) << Read("stderr");

  EXPECT_EQ(Run({"--colour", "start"}), 2);
}

}  // namespace
}  // namespace corvane_host
