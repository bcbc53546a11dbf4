// 1602 over backups Corvane and idevicebackup2 made and over folders that are not backups; the questions
// 1603 and 1606; and a backup stopped by the host (600) halfway.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/tool_runner.h"
#include "backup/backup_scenario.h"
#include "iOSAPI/plist_message.h"

extern char** environ;

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kPhone[] = "00008030-001A2B3C4D5E602E";

uint64_t FolderBytes(const std::string& folder) {
  uint64_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) total += entry.file_size();
  }
  return total;
}

void WritePlist(const std::string& path, const PlistValue& value) {
  std::ofstream(path, std::ios::binary) << *SerializePlist(value, PlistFormat::kXml);
}

class ListTest : public ::testing::Test {
 protected:
  void Start(devicesim::ProfileBuilder phone) {
    ASSERT_TRUE(corvane_.AddDevice("phone", phone));
    ASSERT_TRUE(corvane_.StartWithDevices());
    ASSERT_TRUE(corvane_.WaitForDeviceReady(kPhone));
  }
  DeviceHarness corvane_;
};

TEST_F(ListTest, BackupsOfBothMakersAreListedTwiceAndOtherFoldersNotAtAll) {
  std::string data_home = corvane_.temp_dir() + "/data-home";
  corvane_.options().env.push_back({"XDG_DATA_HOME", data_home});
  devicesim::ProfileBuilder phone(kPhone);
  phone.SetProductVersion("16.4.1").SetDeviceName("Listed Phone").SetSerialNumber("F2LXYZ");
  phone.AddBackupFile("HomeDomain", "Library/SMS/sms.db", std::string(5000, 's'));
  Start(phone);

  BackupRun own = RunBackupCommand(corvane_, 300, 1600, std::string(R"({"uuid":")") + kPhone + R"(","path":""})");
  ASSERT_TRUE(own.final && own.final->code == 0) << own.error;
  std::string tool_root = corvane_.temp_dir() + "/tool";
  fs::create_directories(tool_root);
  ToolRun tool = RunToolWithDeadline({"idevicebackup2", "-u", kPhone, "backup", "--full", tool_root},
                                     {{"USBMUXD_SOCKET_ADDRESS", "UNIX:" + corvane_.temp_dir() + "/usbmuxd.sock"}},
                                     60000);
  ASSERT_NE(tool.output.find("Backup Successful."), std::string::npos) << tool.output;
  // Not backups: a folder without Status.plist, a plain file.
  fs::create_directories(tool_root + "/half");
  fs::copy(tool_root + "/" + kPhone + "/Info.plist", tool_root + "/half/Info.plist");
  fs::copy(tool_root + "/" + kPhone + "/Manifest.plist", tool_root + "/half/Manifest.plist");
  std::ofstream(tool_root + "/stray.txt") << "x";

  std::string json = R"({"paths":["",")" + tool_root + R"(",")" + corvane_.temp_dir() + R"(/nowhere"]})";
  auto final = corvane_.Run(301, 1602, json);
  ASSERT_TRUE(final);
  EXPECT_EQ(final->code, 0);
  std::vector<hostlink::Report> reports = corvane_.TakeReportsOf(301);
  ASSERT_EQ(reports.size(), 4u);
  std::vector<std::string> paths = {own.backup_dir.substr(0, own.backup_dir.size() - 1), tool_root + "/" + kPhone};
  for (size_t i = 0; i < 4; ++i) {
    auto summary = ParseJson(reports[i].data);
    ASSERT_TRUE(summary && summary->IsObject()) << reports[i].data;
    EXPECT_EQ(reports[i].stage, i < 2 ? 0 : 1);
    EXPECT_EQ(std::string((*summary)["Path"].GetString()), paths[i % 2]);
    EXPECT_EQ(std::string((*summary)["Device Name"].GetString()), "Listed Phone");
    EXPECT_EQ(std::string((*summary)["Unique Identifier"].GetString()), kPhone);
    EXPECT_EQ(std::string((*summary)["Product Version"].GetString()), "16.4.1");
    EXPECT_EQ(std::string((*summary)["Serial Number"].GetString()), "F2LXYZ");
    EXPECT_EQ(std::string((*summary)["Last Backup Date"].GetString()).size(), 19u);
    EXPECT_EQ((*summary)["IsEncrypted"].GetInt(), 0);
    EXPECT_EQ(summary->HasMember("Size"), i >= 2);
    if (i >= 2) {
      EXPECT_EQ((*summary)["Size"].GetUint64(), FolderBytes(paths[i % 2]));
    }
  }

  auto missing = corvane_.Run(302, 1602, "{}");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->code, 21);
}

TEST_F(ListTest, NamesFallBackToDisplayNameAndUniqueIdentifier) {
  Start(devicesim::ProfileBuilder(kPhone));
  std::string folder = corvane_.temp_dir() + "/root/old";
  fs::create_directories(folder);
  WritePlist(folder + "/Info.plist",
             PlistValue::MakeDict({{"Display Name", PlistValue::String("Only Display")},
                                   {"Unique Identifier", PlistValue::String("OLD-UDID")},
                                   {"Last Backup Date", PlistValue::Date("2020-02-03T04:05:06Z")}}));
  WritePlist(folder + "/Manifest.plist", PlistValue::MakeDict({{"IsEncrypted", PlistValue::Boolean(true)}}));
  WritePlist(folder + "/Status.plist", PlistValue::MakeDict());
  auto final = corvane_.Run(310, 1602, R"({"paths":[")" + corvane_.temp_dir() + R"(/root"]})");
  ASSERT_TRUE(final);
  std::vector<hostlink::Report> reports = corvane_.TakeReportsOf(310);
  ASSERT_EQ(reports.size(), 2u);
  auto summary = ParseJson(reports[0].data);
  ASSERT_TRUE(summary);
  EXPECT_EQ(std::string((*summary)["Device Name"].GetString()), "Only Display");
  EXPECT_EQ(std::string((*summary)["Unique Identifier"].GetString()), "OLD-UDID");
  EXPECT_EQ((*summary)["IsEncrypted"].GetInt(), 1);
  EXPECT_EQ(std::string((*summary)["Last Backup Date"].GetString()).substr(0, 4), "2020");
}

TEST_F(ListTest, TheLocationServiceQuestionAndARunningITunesAreAnswered) {
  devicesim::ProfileBuilder phone(kPhone);
  phone.SetDomainValue("com.apple.fmip", "IsAssociated", true);
  Start(phone);
  auto associated = corvane_.Run(320, 1603, std::string(R"({"uuid":")") + kPhone + R"("})");
  ASSERT_TRUE(associated);
  EXPECT_EQ(associated->code, 0);
  EXPECT_EQ(associated->info, R"({"error":""})");

  auto absent = corvane_.Run(321, 1606, "{}");
  ASSERT_TRUE(absent);
  EXPECT_EQ(absent->code, 1);
  // A process whose name is ITUNES.EXE in any letter case counts.
  std::string program = corvane_.temp_dir() + "/ITUNES.EXE";
  fs::copy_file("/bin/sleep", program);
  char* argv[] = {program.data(), const_cast<char*>("30"), nullptr};
  pid_t child = 0;
  ASSERT_EQ(::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ), 0);
  auto running = corvane_.Run(322, 1606, "{}");
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(running);
  EXPECT_EQ(running->code, 0);
}

TEST_F(ListTest, AStopHalfwayEndsTheBackupWith6AndRemovesItsFolder) {
  devicesim::ProfileBuilder phone(kPhone);
  phone.SetProductVersion("16.4.1");
  // Each large file travels in an upload batch of its own, so progress moves file by file.
  for (int i = 0; i < 24; ++i) phone.AddBackupSparseFile("MediaDomain", "Media/big" + std::to_string(i), 200u << 20);
  Start(phone);
  std::string root = corvane_.temp_dir() + "/backups";
  ASSERT_TRUE(corvane_.host().SendCommand(330, 1600, std::string(R"({"uuid":")") + kPhone + R"(","path":")" + root +
                                                         R"("})"));
  auto moving = corvane_.host().WaitFor(
      [](const hostlink::Report& report) {
        return report.task_id == 330 && report.stage == 1 && report.code >= 2000;
      },
      std::chrono::seconds(120));
  ASSERT_TRUE(moving);
  auto stop = corvane_.Run(331, 600, R"({"info":{"task_id":"330"}})");
  ASSERT_TRUE(stop);
  auto final = corvane_.host().WaitFor(hostlink::FinalOf(330, 1600), std::chrono::seconds(60));
  ASSERT_TRUE(final);
  EXPECT_EQ(final->code, 6);
  EXPECT_EQ(final->header_code, 5);
  // The folder goes once the session has ended; the final report may come first.
  for (int i = 0; i < 100 && !FoldersUnder(root).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(FoldersUnder(root), std::vector<std::string>());
}

}  // namespace
}  // namespace e2e
