// 1608 against the simulated device's backup service: the jobs of an old and a new device with the real message
// and contact databases, the manifest lookup and the second run, the order of the reports on the wire, an
// encrypted backup, a stop in the middle of the backup, and a device that names a path outside the work folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "backup/backup_scenario.h"
#include "backup/extract_scenario.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kUdid[] = "00008030-001A2B3C4D5E6F70";
constexpr char kFixtures[] = CORVANE_REAL_IOS_FIXTURES;

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = corvane_.temp_dir() + "/scratch";
    sms_ = FoldedDatabase(std::string(kFixtures) + "/sms/ios-14.1", "sms.db", scratch_ + "/sms");
    contacts_ = FoldedDatabase(std::string(kFixtures) + "/address-book/ios-14.1", "AddressBook.sqlitedb",
                               scratch_ + "/contacts");
  }
  devicesim::ProfileBuilder Phone(const std::string& version) {
    devicesim::ProfileBuilder phone(kUdid);
    phone.SetProductVersion(version);
    phone.AddBackupFile("HomeDomain", "Library/SMS/sms.db", sms_);
    phone.AddBackupFile("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", contacts_);
    phone.AddBackupTree("HomeDomain", "Library/Caches", 40, 2000, 3);
    phone.AddBackupGeneratedFile("MediaDomain", "Media/DCIM/100APPLE/IMG_0001.MOV", 8 * 1024 * 1024, 5);
    return phone;
  }
  void Start(const devicesim::ProfileBuilder& phone) {
    UseTestPlugin(corvane_);
    ASSERT_TRUE(corvane_.AddDevice("phone", phone));
    ASSERT_TRUE(corvane_.StartWithDevices());
    ASSERT_TRUE(corvane_.WaitForDeviceReady(kUdid));
  }
  // The one file an item reports under `key`; its path must lie in Corvane's process folder.
  std::string ReportedFile(const rapidjson::Document& item, const std::string& job, const std::string& key) {
    for (const rapidjson::Value& file : item[job.c_str()].GetArray()) {
      if (key != file["type"].GetString()) continue;
      std::string path = file["path"].GetString();
      EXPECT_EQ(path.rfind(corvane_.ProcessFolder() + "/Backup0/Extract/", 0), 0u) << path;
      EXPECT_EQ(file["size"].GetInt64(), static_cast<int64_t>(fs::file_size(path)));
      return path;
    }
    ADD_FAILURE() << "no " << key << " in the " << job << " item";
    return std::string();
  }

  DeviceHarness corvane_;
  std::string scratch_;
  std::string sms_;
  std::string contacts_;
};

TEST_F(ExtractTest, AnOldDeviceGivesTheMessageAndContactDatabasesWithTheirRecords) {
  Start(Phone("9.3.5"));
  ExtractRun run = RunExtract(corvane_, 200, ExtractJson(kUdid, "[1,2]"));
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, 0) << run.final->info;
  ASSERT_EQ(run.items.size(), 2u);  // no manifest job below iOS 10
  ASSERT_EQ(run.Items("sms").size(), 1u);
  ASSERT_EQ(run.Items("contact").size(), 1u);
  const rapidjson::Document& sms = *run.Items("sms")[0];
  EXPECT_EQ(sms["status"].GetInt(), 1);
  std::string messages = ReportedFile(sms, "sms", "sms_db_path");
  EXPECT_EQ(ReadWholeFile(messages), sms_);
  int64_t fixture_messages = CountRows(scratch_ + "/sms/sms.db", "message");
  EXPECT_GT(fixture_messages, 0);
  EXPECT_EQ(CountRows(messages, "message"), fixture_messages);
  std::string contacts = ReportedFile(*run.Items("contact")[0], "contact", "contact_db_path");
  EXPECT_EQ(CountRows(contacts, "ABPerson"), CountRows(scratch_ + "/contacts/AddressBook.sqlitedb", "ABPerson"));
  EXPECT_GT(CountRows(contacts, "ABPerson"), 0);
  // The host sees the backup under way as it sees 1600's: growing steps of 10,000.
  std::vector<int64_t> steps;
  for (const hostlink::Report& report : run.reports) {
    if (report.stage != 1) continue;
    EXPECT_EQ(report.uuid, kUdid);
    steps.push_back(report.code);
  }
  ASSERT_FALSE(steps.empty());
  EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
  EXPECT_GE(steps.front(), 0);
  EXPECT_LE(steps.back(), 10000);
}

TEST_F(ExtractTest, ANewDeviceLooksUpWhatTheFirstRunMissedAndFetchesItInASecondRun) {
  devicesim::ProfileBuilder phone = Phone("14.1");
  // The note store in a domain other than the one its expected name is made of.
  phone.AddBackupFile("AppDomain-com.apple.mobilenotes", "NoteStore.sqlite", "note store bytes");
  Start(phone);
  ExtractRun run = RunExtract(corvane_, 210, ExtractJson(kUdid, "[1,3]"));
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, 0) << run.final->info;

  // On the wire: the messages as soon as they were in, the manifest files at the end of the first backup, the
  // notes when everything has ended; the final report last.
  int sms = run.IndexOf("sms"), manifest = run.IndexOf("Manifest.db"), note = run.IndexOf("note");
  ASSERT_GE(sms, 0);
  ASSERT_GE(manifest, 0);
  ASSERT_GE(note, 0);
  EXPECT_LT(sms, manifest);
  EXPECT_LT(manifest, note);
  EXPECT_EQ(run.items.size(), 3u);
  EXPECT_EQ(run.items[manifest]["status"].GetInt(), 1);
  EXPECT_EQ(run.items[manifest]["Manifest.db"].Size(), 2u);
  EXPECT_EQ(CountRows(ReportedFile(run.items[sms], "sms", "sms_db_path"), "message"),
            CountRows(scratch_ + "/sms/sms.db", "message"));

  // notes.sqlite is not on this device: the job ends "not found" with what it did get.
  const rapidjson::Document& notes = run.items[note];
  EXPECT_EQ(notes["status"].GetInt(), 0);
  ASSERT_EQ(notes["note"].Size(), 1u);
  EXPECT_EQ(ReadWholeFile(ReportedFile(notes, "note", "note_store_db_path")), "note store bytes");
  EXPECT_EQ(std::string(notes["note"][0]["relativePath"].GetString()), "NoteStore.sqlite");
}

TEST_F(ExtractTest, AnEncryptedBackupEndsTheJobsItCannotServeWithTheirOwnStatus) {
  devicesim::ProfileBuilder phone = Phone("14.1");
  phone.SetDomainValue("com.apple.mobile.backup", "WillEncrypt", true);
  phone.AddBackupFile("AppDomain-com.apple.mobilenotes", "NoteStore.sqlite", "note store bytes");
  Start(phone);
  ExtractRun run = RunExtract(corvane_, 220, ExtractJson(kUdid, "[1,3]"));
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, 0) << run.final->info;
  // Every job says why it has nothing: the messages database would have come encrypted, not as a found file.
  for (const char* job : {"sms", "note"}) {
    ASSERT_EQ(run.Items(job).size(), 1u) << job;
    EXPECT_EQ((*run.Items(job)[0])["status"].GetInt(), 2) << job;
    EXPECT_EQ((*run.Items(job)[0])[job].Size(), 0u) << job;
  }
}

TEST_F(ExtractTest, AStopInTheMiddleOfTheBackupEndsEveryJobWithAReport) {
  devicesim::ProfileBuilder phone = Phone("9.3.5");
  phone.AddBackupFile("MediaDomain", "Library/Recordings/Recordings.db", "recordings");
  // The device falls silent before the file after the messages database.
  phone.SetBackupFault({devicesim::BackupFaultKind::kStall, 42});
  Start(phone);
  ASSERT_TRUE(corvane_.host().SendCommand(230, 1608, ExtractJson(kUdid, "[1,4,2]")));
  // The contact and messages databases come before the device falls silent; the recordings never come.
  std::vector<std::string> done;
  for (int i = 0; i < 2; ++i) {
    auto item = corvane_.host().WaitFor(
        [](const hostlink::Report& r) { return r.task_id == 230 && r.stage == 2; }, std::chrono::seconds(60));
    ASSERT_TRUE(item);
    auto parsed = ParseJson(item->data);
    ASSERT_TRUE(parsed);
    done.push_back((*parsed)["sub_command_type"].GetString());
    EXPECT_EQ((*parsed)["status"].GetInt(), 1);
  }
  EXPECT_EQ(done, (std::vector<std::string>{"contact", "sms"}));
  ASSERT_TRUE(corvane_.host().SendCommand(231, 600, R"({"info":{"task_id":"230"}})"));
  auto final = corvane_.host().WaitFor(hostlink::FinalOf(230, 1608), std::chrono::seconds(60));
  ExtractRun run = CollectExtract(corvane_, 230, final);
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, 6);
  EXPECT_EQ(run.items.size(), 1u);
  ASSERT_EQ(run.Items("LIBMODEL_IBACKUP_QUERY_RECORDING_LIST").size(), 1u);
  EXPECT_EQ((*run.Items("LIBMODEL_IBACKUP_QUERY_RECORDING_LIST")[0])["status"].GetInt(), 6);
}

TEST_F(ExtractTest, ADeviceNamingAPathOutsideTheWorkFolderWritesNothingThere) {
  devicesim::ProfileBuilder phone = Phone("9.3.5");
  // File 40 (after the caches and the address book) is the messages database; its target climbs out.
  phone.SetBackupFault({devicesim::BackupFaultKind::kClimbingName, 41});
  Start(phone);
  ExtractRun run = RunExtract(corvane_, 240, ExtractJson(kUdid, "[1]"));
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, 46);
  ASSERT_EQ(run.items.size(), 1u);
  EXPECT_EQ(run.items[0]["status"].GetInt(), 0);
  EXPECT_EQ(run.items[0]["sms"].Size(), 0u);
  for (const auto& entry : fs::recursive_directory_iterator(corvane_.temp_dir())) {
    EXPECT_EQ(entry.path().filename().string().find("devicesim-escaped"), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace e2e
