// 1608's jobs that add files while the backup runs: voice recordings from all four sources with their audio
// files, and WhatsApp's chat database with the attachments the plug-in names.
#include <gtest/gtest.h>

#include <filesystem>

#include "backup/backup_scenario.h"
#include "backup/extract_scenario.h"

namespace e2e {
namespace {

constexpr char kUdid[] = "00008030-001A2B3C4D5E6F71";
constexpr char kWhatsApp[] = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";

class ExtractMediaTest : public ::testing::Test {
 protected:
  void Start(const devicesim::ProfileBuilder& phone) {
    UseTestPlugin(corvane_);
    ASSERT_TRUE(corvane_.AddDevice("phone", phone));
    ASSERT_TRUE(corvane_.StartWithDevices());
    ASSERT_TRUE(corvane_.WaitForDeviceReady(kUdid));
  }
  std::string Scratch() const { return corvane_.temp_dir() + "/scratch"; }
  DeviceHarness corvane_;
};

TEST_F(ExtractMediaTest, RecordingsComeFromAllFourSourcesAndTheirAudioFilesArePickedUp) {
  devicesim::ProfileBuilder phone(kUdid);
  phone.SetProductVersion("14.1");
  const std::string folder = "Library/Recordings/";
  phone.AddBackupFile(
      "MediaDomain", folder + "CloudRecordings.db",
      MadeDatabase(Scratch(), "CREATE TABLE ZCLOUDRECORDING (ZDURATION REAL, ZPATH TEXT, ZCUSTOMLABEL TEXT, ZDATE "
                              "REAL); INSERT INTO ZCLOUDRECORDING VALUES (61, "
                              "'/private/var/mobile/Media/Recordings/20200101 090000.m4a', 'Cloud memo', 600000000)"));
  phone.AddBackupFile("MediaDomain", folder + "Recordings.db",
                      MadeDatabase(Scratch(), "CREATE TABLE ZRECORDING (ZDURATION REAL, ZPATH TEXT, ZCUSTOMLABEL "
                                              "TEXT, ZDATE REAL); INSERT INTO ZRECORDING VALUES (5, "
                                              "'/var/mobile/Media/Recordings/20190101 090000.m4a', NULL, 0)"));
  phone.AddBackupFile("MediaDomain", folder + "AssetManifest.plist",
                      R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>20180101 090000.m4a)"
                      R"(</key><dict><key>name</key><string>Manifest memo</string></dict></dict></plist>)");
  // The composition is read from the device itself; its audio file is in the backup like the others.
  phone.AddFile("Recordings/20210101 090000.composition/manifest.plist",
                R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>RCComposedAVURL</key>)"
                R"(<string>file:///var/mobile/Media/Recordings/20210101 090000.m4a</string><key>)"
                R"(RCSavedRecordingTitle</key><string>Composed</string></dict></plist>)");
  phone.AddFile("Recordings/20210101 090000.m4a", "composed audio");
  // The audio files come before the databases in the backup, so they have gone by when the job wants them.
  for (const char* audio : {"20180101 090000.m4a", "20190101 090000.m4a", "20200101 090000.m4a",
                            "20210101 090000.m4a"}) {
    phone.AddBackupFile("MediaDomain", folder + audio, std::string("audio ") + audio);
  }
  phone.AddBackupGeneratedFile("MediaDomain", "Media/DCIM/100APPLE/IMG_0001.MOV", 4 * 1024 * 1024, 5);
  Start(phone);

  ExtractRun run = RunExtract(corvane_, 300, ExtractJson(kUdid, "[4]"));
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, 0) << run.final->info;
  ASSERT_EQ(run.Items("LIBMODEL_IBACKUP_QUERY_RECORDING_LIST").size(), 1u);
  const rapidjson::Document& list = *run.Items("LIBMODEL_IBACKUP_QUERY_RECORDING_LIST")[0];
  EXPECT_EQ(list["status"].GetInt(), 1);
  std::map<std::string, int> sources;
  for (const rapidjson::Value& recording : list["data"].GetArray()) {
    sources[recording["path"].GetString()] = recording["source"].GetInt();
  }
  EXPECT_EQ(sources, (std::map<std::string, int>{{"/Recordings/20200101 090000.m4a", 4},
                                                 {"/Recordings/20190101 090000.m4a", 1},
                                                 {"/Recordings/20180101 090000.m4a", 2},
                                                 {"/Recordings/20210101 090000.m4a", 3}}));

  ASSERT_EQ(run.Items("recording").size(), 1u);
  const rapidjson::Document& audio = *run.Items("recording")[0];
  EXPECT_EQ(audio["status"].GetInt(), 1);
  ASSERT_EQ(audio["recording"].Size(), 4u);
  for (const rapidjson::Value& file : audio["recording"].GetArray()) {
    std::string relative = file["relativePath"].GetString();
    EXPECT_EQ(std::string(file["type"].GetString()), "recordings_path_map_key");
    EXPECT_EQ(ReadWholeFile(file["path"].GetString()), "audio " + relative.substr(folder.size())) << relative;
  }
}

TEST_F(ExtractMediaTest, BothWhatsAppTypesMakeOneJobThatBringsTheAttachments) {
  devicesim::ProfileBuilder phone(kUdid);
  phone.SetProductVersion("14.1");
  phone.AddBackupFile(kWhatsApp, "ChatStorage.sqlite",
                      MadeDatabase(Scratch(), "CREATE TABLE ZWAMEDIAITEM (Z_PK INTEGER PRIMARY KEY, "
                                              "ZMEDIALOCALPATH TEXT); INSERT INTO ZWAMEDIAITEM VALUES (1, "
                                              "'Media/4915@s.whatsapp.net/a/b/photo.jpg'); INSERT INTO ZWAMEDIAITEM "
                                              "VALUES (2, 'Media/4915@s.whatsapp.net/c/d/clip.mp4'); INSERT INTO "
                                              "ZWAMEDIAITEM VALUES (3, NULL)"));
  phone.AddBackupFile(kWhatsApp, "Message/Media/4915@s.whatsapp.net/a/b/photo.jpg", "photo bytes");
  phone.AddBackupFile(kWhatsApp, "Message/Media/4915@s.whatsapp.net/c/d/clip.mp4", "clip bytes");
  phone.AddBackupFile("HomeDomain", "Library/SMS/sms.db", "not asked for");
  Start(phone);

  ExtractRun run = RunExtract(corvane_, 310, ExtractJson(kUdid, "[5,6]"));
  ASSERT_TRUE(run.final);
  EXPECT_EQ(run.final->code, 0) << run.final->info;
  std::vector<const rapidjson::Document*> whatsapp = run.Items("whatsapp");
  ASSERT_EQ(whatsapp.size(), 2u);  // the database, then its attachments: one job, not two
  EXPECT_EQ((*whatsapp[0])["status"].GetInt(), 1);
  ASSERT_EQ((*whatsapp[0])["whatsapp"].Size(), 1u);
  EXPECT_EQ(std::string((*whatsapp[0])["whatsapp"][0]["type"].GetString()), "whatsapp_db_path_key");
  const rapidjson::Value& attachments = (*whatsapp[1])["whatsapp"];
  EXPECT_EQ((*whatsapp[1])["status"].GetInt(), 1);
  ASSERT_EQ(attachments.Size(), 2u);
  std::map<std::string, std::string> files;
  for (const rapidjson::Value& file : attachments.GetArray()) {
    EXPECT_EQ(std::string(file["type"].GetString()), "whatsapp_attachments_path_map_key");
    files[file["relativePath"].GetString()] = ReadWholeFile(file["path"].GetString());
  }
  EXPECT_EQ(files, (std::map<std::string, std::string>{
                       {"Message/Media/4915@s.whatsapp.net/a/b/photo.jpg", "photo bytes"},
                       {"Message/Media/4915@s.whatsapp.net/c/d/clip.mp4", "clip bytes"}}));
}

}  // namespace
}  // namespace e2e
