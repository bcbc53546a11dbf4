// The connect module through the real process: the monitor start on demand, the driver download from a web
// server on 127.0.0.1, and the install and store check relayed through an elevated copy of Corvane started with
// CORVANE_ELEVATE=none, whose installer is a stand-in script.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "harness/device_harness.h"
#include "support/path_http_server.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using testing_support::PathHttpServer;

const char* kPackages[] = {"libusbmuxd6.deb", "libimobiledevice6.deb", "usbmuxd.deb"};

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Md5(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
  static const char* hex = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += hex[digest[i] >> 4];
    text += hex[digest[i] & 15];
  }
  return text;
}

// The running processes whose parent is `pid`.
int ChildrenOf(int64_t pid) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string stat = ReadText(entry.path().string() + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) continue;
    std::istringstream fields(stat.substr(close + 2));
    std::string state;
    int64_t parent = 0;
    fields >> state >> parent;
    if (parent == pid && state != "Z") ++count;
  }
  return count;
}

class ConnectDownload : public ::testing::Test {
 protected:
  void Serve(int wrong_md5 = -1) {
    for (int i = 0; i < 3; ++i) {
      bodies_[i] = std::string(150000 + i * 7, static_cast<char>('p' + i));
      std::string path = std::string("/d/x64/") + kPackages[i];
      server_.Route(path, bodies_[i]);
      server_.Route(path + ".txt", i == wrong_md5 ? std::string(32, 'a') : Md5(bodies_[i]));
    }
    server_.Start();
  }
  std::string Json() const { return "{\"info\":{\"url\":\"" + server_.Url("/d") + "\"}}"; }
  std::string Folder() { return corvane_.WorkFolder() + "/ios_driver/"; }

  PathHttpServer server_;
  CorvaneHarness corvane_;
  std::string bodies_[3];
};

TEST_F(ConnectDownload, VerifiedPackagesAreListedWithProgressAndNotFetchedTwice) {
  Serve();
  ASSERT_TRUE(corvane_.Start());
  auto done = corvane_.Run(7, 16, Json());
  ASSERT_TRUE(done);
  EXPECT_EQ(done->header_code, 3);
  EXPECT_EQ(done->code, 0);
  std::string expected = "[\"" + Folder() + kPackages[0] + "\",\"" + Folder() + kPackages[1] + "\",\"" + Folder() +
                         kPackages[2] + "\"]";
  EXPECT_EQ(done->info, expected);
  std::vector<hostlink::Report> progress = corvane_.TakeReportsOf(7);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back().info, "{\"total\":150014,\"step\":150014,\"index\":3,\"count\":3}");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadText(Folder() + kPackages[i]), bodies_[i]);

  auto again = corvane_.Run(8, 16, Json());
  ASSERT_TRUE(again);
  EXPECT_EQ(again->info, expected);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(server_.Count("GET", std::string("/d/x64/") + kPackages[i]), 1);
}

TEST_F(ConnectDownload, AWrongMd5IsNeitherListedNorKeptAndAnotherMarkerDoesNothing) {
  Serve(/*wrong_md5=*/1);
  ASSERT_TRUE(corvane_.Start());
  auto done = corvane_.Run(7, 16, Json());
  ASSERT_TRUE(done);
  EXPECT_EQ(done->info, "[\"" + Folder() + kPackages[0] + "\"]");
  EXPECT_FALSE(fs::exists(Folder() + kPackages[1]));
  EXPECT_EQ(server_.Count("GET", "/d/x64/usbmuxd.deb.txt"), 0);

  ASSERT_TRUE(corvane_.host().SendCommand(9, 16, Json(), {}, "0"));
  auto nothing = corvane_.host().WaitFor(hostlink::FinalOf(9, 16), 30s);
  ASSERT_TRUE(nothing);
  EXPECT_EQ(nothing->header_code, 1);
  EXPECT_EQ(nothing->code, 0);
  EXPECT_EQ(server_.Count("HEAD", "/d/x64/libusbmuxd6.deb.txt"), 1);
}

// An elevated copy of Corvane (CORVANE_ELEVATE=none) that installs with a stand-in for dpkg.
class ConnectElevated : public ::testing::Test {
 protected:
  ConnectElevated() {
    installer_ = corvane_.temp_dir() + "/installer.sh";
    log_ = corvane_.temp_dir() + "/installs.log";
    std::ofstream(installer_) << "#!/bin/sh\n"
                                 "echo \"$*\" >> " << log_ << "\n"
                                 "case \"$2\" in *broken*) echo \"dpkg: error processing archive $2\";;\n"
                                 "  *) echo \"Unpacking $2\";; esac\n";
    ::chmod(installer_.c_str(), 0755);
    corvane_.options().env.push_back({"CORVANE_ELEVATE", "none"});
    corvane_.options().env.push_back({"CORVANE_INSTALLER", installer_});
  }
  std::vector<std::string> Texts(uint64_t task) {
    std::vector<std::string> texts;
    for (const hostlink::Report& report : corvane_.TakeReportsOf(task)) texts.push_back(report.text_json);
    return texts;
  }

  DeviceHarness corvane_;
  std::string installer_;
  std::string log_;
};

TEST_F(ConnectElevated, TheCopysReportsReachTheHostUnchangedAndASecondCommandUsesTheSameCopy) {
  ASSERT_TRUE(corvane_.StartWithDevices());
  auto installed = corvane_.Run(40, 17, R"({"type":0,"stage":0,"code":0,"info":["/pkgs/a.deb","/pkgs/b c.deb"]})",
                                {}, 90s);
  ASSERT_TRUE(installed);
  EXPECT_EQ(installed->header_code, 1);
  EXPECT_EQ(installed->text_json, R"({"stage":0,"code":0,"uuid":"","type":0,"info":{"error":0}})");
  EXPECT_EQ(Texts(40), (std::vector<std::string>{R"({"stage":2,"code":0,"uuid":"","type":0,"info":{"index":1,"count":2}})",
                                                 R"({"stage":2,"code":0,"uuid":"","type":0,"info":{"index":2,"count":2}})"}));
  EXPECT_EQ(ReadText(log_), "--install /pkgs/a.deb\n--install /pkgs/b c.deb\n");
  EXPECT_EQ(ChildrenOf(corvane_.corvane().pid()), 1);

  // The installer's "error" stops the install before the remaining packages.
  auto broken = corvane_.Run(41, 17, R"({"info":["/pkgs/c.deb","/pkgs/broken.deb","/pkgs/d.deb"]})", {}, 60s);
  ASSERT_TRUE(broken);
  EXPECT_EQ(broken->header_code, 6);
  EXPECT_EQ(broken->code, 51);
  EXPECT_EQ(broken->info, R"({"error":51})");
  EXPECT_EQ(Texts(41).size(), 1u);
  EXPECT_EQ(ReadText(log_).find("d.deb"), std::string::npos);

  // No store edition on this system: 54, with the header of a completed check.
  auto store = corvane_.Run(42, 18, "{}", {}, 60s);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->header_code, 1);
  EXPECT_EQ(store->text_json, R"({"stage":0,"code":54,"uuid":"","type":0,"info":{"error":54}})");
  EXPECT_EQ(ChildrenOf(corvane_.corvane().pid()), 1);
}

TEST_F(ConnectElevated, ACopyThatCannotStartAnswers53AndMarkersOtherThanOneGetNoAnswer) {
  for (auto& [name, value] : corvane_.options().env) {
    if (name == "CORVANE_ELEVATE") value = corvane_.temp_dir() + "/no-such-launcher";
  }
  ASSERT_TRUE(corvane_.StartWithDevices());
  ASSERT_TRUE(corvane_.host().SendCommand(50, 17, R"({"info":["/pkgs/a.deb"]})", {}, "0"));
  auto failed = corvane_.Run(51, 17, R"({"info":["/pkgs/a.deb"]})", {}, 30s);
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->code, 53);
  EXPECT_EQ(failed->header_code, 6);
  EXPECT_TRUE(corvane_.TakeReportsOf(50).empty());
  EXPECT_EQ(ReadText(log_), "");
}

TEST_F(ConnectElevated, ARefusedElevationAnswersTheWaitingCommandAndTheNextOneTriesAgain) {
  // A launcher whose user says no: it ends without starting anything.
  std::string launcher = corvane_.temp_dir() + "/refusing.sh";
  std::string launches = corvane_.temp_dir() + "/launches.log";
  std::ofstream(launcher) << "#!/bin/sh\necho refused >> " << launches << "\nexit 126\n";
  ::chmod(launcher.c_str(), 0755);
  for (auto& [name, value] : corvane_.options().env) {
    if (name == "CORVANE_ELEVATE") value = launcher;
  }
  ASSERT_TRUE(corvane_.StartWithDevices());
  for (uint64_t task : {70, 71}) {
    auto refused = corvane_.Run(task, 17, R"({"info":["/pkgs/a.deb"]})", {}, 30s);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->code, 53);
    EXPECT_EQ(refused->header_code, 6);
  }
  EXPECT_EQ(ReadText(launches), "refused\nrefused\n");
  EXPECT_EQ(ReadText(log_), "");
}

TEST_F(ConnectElevated, TheMonitorStartsOnDemandAndSaysSo) {
  ASSERT_TRUE(corvane_.StartWithDevices());
  auto started = corvane_.Run(60, 10, "{}");
  ASSERT_TRUE(started);
  EXPECT_EQ(started->code, 0);
  EXPECT_EQ(started->info, R"({"error_code":0})");
  auto notice = corvane_.WaitForType(9, 5s);
  ASSERT_TRUE(notice);
  EXPECT_EQ(notice->info, R"({"error_code":0})");
}

}  // namespace
}  // namespace e2e
