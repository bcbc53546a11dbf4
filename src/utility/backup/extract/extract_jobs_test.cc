// The jobs that reach beyond their own files: the manifest job and the lookup of missing files, the WhatsApp job
// and its attachments, the recording job with its sources and audio files, and what plug-in replies may not do.
#include <gtest/gtest.h>

#include "utility/backup/extract/backup_names.h"
#include "utility/backup/extract/extract_jobs.h"
#include "utility/backup/extract/extract_test_support.h"
#include "utility/backup/extract/manifest_work.h"
#include "utility/backup/extract/recording_work.h"
#include "utility/backup/extract/whatsapp_work.h"

namespace backup_extract {
namespace {

constexpr char kSms[] = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
constexpr char kNoteStore[] = "4f98687d8ab0d6d1a371110e6b7300f6e465bef2";
constexpr char kChatStorage[] = "7c7fba66680ef796b916b067077cc246adacf01d";
constexpr char kElsewhere[] = "00000000000000000000000000000000000000aa";

using ManifestLookup = ExtractTest;

TEST_F(ManifestLookup, MissingFilesAreLookedForAgainUnderTheNamesTheReplyGives) {
  RegisterRequestedJobs(*registry_, {1, 3}, true);
  registry_->BeginRun();
  Upload(kSms, "messages");
  Upload("Manifest.db", "index");
  EXPECT_EQ(registry_->backup_folder(), "");
  Upload("Manifest.plist", "plist");
  EXPECT_EQ(registry_->backup_folder(), Path("kept/"));
  ASSERT_NE(ReportOf("Manifest.db"), nullptr);
  EXPECT_EQ((*ReportOf("Manifest.db"))["Manifest.db"].Size(), 2u);

  replies_[kManifestQuery] = std::string(R"({"isEncrypted":false,"queryRelativePaths":{"NoteStore.sqlite":")") +
                             kElsewhere +
                             R"(","Library/Notes/notes.sqlite":"../../../escaped","Library/SMS/sms.db":")" +
                             kElsewhere + R"("}})";
  LookupOutcome lookup = LookUpMissingFiles(*registry_);
  EXPECT_TRUE(lookup.asked);
  EXPECT_TRUE(lookup.answered);
  EXPECT_FALSE(lookup.encrypted);
  EXPECT_EQ(lookup.relocated, 1u);  // the climbing name and the member nobody asked about are ignored
  ASSERT_EQ(requests_.size(), 1u);
  rapidjson::Document request;
  request.Parse(requests_[0].second.c_str());
  EXPECT_EQ(std::string(request["backupDir"].GetString()), Path("kept/"));
  EXPECT_FALSE(request["isEncrypted"].GetBool());
  EXPECT_EQ(request["queryRelativePaths"].MemberCount(), 2u);  // only what is missing
  EXPECT_TRUE(request["queryRelativePaths"].HasMember("NoteStore.sqlite"));

  EXPECT_TRUE(registry_->NeedsAnotherRun());
  registry_->BeginRun();
  EXPECT_FALSE(Offer(kNoteStore));
  EXPECT_TRUE(Offer(kElsewhere));
  Upload(kElsewhere, "note store");
  registry_->EndUnfinished(kStatusNotFound);
  const rapidjson::Document* note = ReportOf("note");
  ASSERT_NE(note, nullptr);
  EXPECT_EQ((*note)["status"].GetInt(), kStatusNotFound);
  ASSERT_EQ((*note)["note"].Size(), 1u);
  EXPECT_EQ(std::string((*note)["note"][0]["relativePath"].GetString()), "NoteStore.sqlite");
  EXPECT_EQ(std::string((*note)["note"][0]["path"].GetString()), Path("kept/") + kElsewhere);
}

TEST_F(ManifestLookup, AnEncryptedBackupOrNoReplyRelocatesNothing) {
  RegisterRequestedJobs(*registry_, {3}, true);
  LookupOutcome silent = LookUpMissingFiles(*registry_);
  EXPECT_TRUE(silent.asked);
  EXPECT_FALSE(silent.answered);
  EXPECT_EQ(silent.relocated, 0u);

  replies_[kManifestQuery] = std::string(R"({"isEncrypted":true,"queryRelativePaths":{"NoteStore.sqlite":")") +
                             kElsewhere + R"("}})";
  LookupOutcome encrypted = LookUpMissingFiles(*registry_);
  EXPECT_TRUE(encrypted.encrypted);
  EXPECT_EQ(encrypted.relocated, 0u);
  EXPECT_FALSE(registry_->NeedsAnotherRun());

  replies_[kManifestQuery] = "not json";
  EXPECT_FALSE(LookUpMissingFiles(*registry_).answered);
}

using WhatsApp = ExtractTest;

TEST_F(WhatsApp, TheChatDatabaseBringsItsAttachmentsAndNoReplyNameLeadsAnywhere) {
  std::string attachment = BackupFileName("AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "Message/Media/a.jpg");
  replies_[kWhatsAppQuery] =
      R"({"attachments":[{"hash":")" + attachment + R"(","relativePath":"Message/Media/a.jpg"},)" +
      R"({"hash":"../../../../tmp/escaped","relativePath":"x"},{"hash":"ABCDEF0123456789ABCDEF0123456789ABCDEF01",)" +
      R"("relativePath":"y"},{"relativePath":"no hash"},7,{"hash":")" + std::string(kElsewhere) +
      R"(","relativePath":3}]})";
  RegisterRequestedJobs(*registry_, {5, 6}, false);
  Upload(kChatStorage, "chats");
  ASSERT_EQ(requests_.size(), 1u);
  EXPECT_EQ(requests_[0].first, kWhatsAppQuery);
  rapidjson::Document request;
  request.Parse(requests_[0].second.c_str());
  EXPECT_EQ(std::string(request["chatStorageSqlite"].GetString()), Path("kept/") + kChatStorage);
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(std::string(reports_[0]["whatsapp"][0]["type"].GetString()), "whatsapp_db_path_key");

  ASSERT_EQ(registry_->jobs().size(), 2u);
  EXPECT_EQ(registry_->jobs()[1]->entries().size(), 1u);
  EXPECT_TRUE(registry_->HasJobFor(attachment));
  Upload(attachment, "jpeg");
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(std::string(reports_[1]["whatsapp"][0]["type"].GetString()), "whatsapp_attachments_path_map_key");
  EXPECT_EQ(std::string(reports_[1]["whatsapp"][0]["relativePath"].GetString()), "Message/Media/a.jpg");
  EXPECT_FALSE(std::filesystem::exists("/tmp/escaped"));
}

TEST_F(WhatsApp, WithoutAReplyTheDatabaseIsStillReported) {
  RegisterRequestedJobs(*registry_, {6}, false);
  Upload(kChatStorage, "chats");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0]["status"].GetInt(), kStatusComplete);
  EXPECT_EQ(registry_->jobs().size(), 1u);
}

class Recordings : public ExtractTest {
 protected:
  void UploadDatabases() {
    Upload("b39e461eaa52a8cc6117e343be5f7abc6bd9fca4",
           FileContent(Database("cloud.db",
                                "CREATE TABLE ZCLOUDRECORDING (ZDURATION REAL, ZPATH TEXT, ZCUSTOMLABEL TEXT, ZDATE "
                                "REAL); INSERT INTO ZCLOUDRECORDING VALUES (12.5, "
                                "'/var/mobile/Media/Recordings/cloud.m4a', 'Cloud', 600000000);"
                                "INSERT INTO ZCLOUDRECORDING VALUES (-1, '/var/mobile/Media/Recordings/gone.m4a', "
                                "'Deleted', 1)")));
    Upload("f0ab5dad305d769185aae95463f895e4294f961d",
           FileContent(Database("rec.db",
                                "CREATE TABLE ZRECORDING (ZDURATION REAL, ZPATH TEXT, ZCUSTOMLABEL TEXT, ZDATE REAL);"
                                "INSERT INTO ZRECORDING VALUES (3, '/var/mobile/Media/Recordings/old.m4a', NULL, 0);"
                                "INSERT INTO ZRECORDING VALUES (3, '/var/mobile/Media/Recordings/cloud.m4a', 'x', 0)")));
    Upload("2879acab4b02bb19c218971593be87d2e97f8887",
           R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>memo.m4a</key><dict>)"
           R"(<key>name</key><string>Memo</string></dict></dict></plist>)");
  }
  static std::string Audio(const std::string& file) {
    return BackupFileName("MediaDomain", "Library/Recordings/" + file);
  }
};

TEST_F(Recordings, TheListComesFromEverySourceAndAudioThatWentByIsFetchedByAnotherRun) {
  RegisterRequestedJobs(*registry_, {4}, false);
  registry_->BeginRun();
  // The audio files come first in the backup, before the job knows it wants them.
  EXPECT_FALSE(Offer(Audio("cloud.m4a")));
  EXPECT_FALSE(Offer(Audio("old.m4a")));
  UploadDatabases();
  const rapidjson::Document* list = ReportOf(kRecordingListName);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ((*list)["status"].GetInt(), kStatusComplete);
  const rapidjson::Value& data = (*list)["data"];
  ASSERT_EQ(data.Size(), 3u);
  EXPECT_EQ(std::string(data[0]["path"].GetString()), "/Recordings/cloud.m4a");
  EXPECT_EQ(data[0]["source"].GetInt(), 4);
  EXPECT_EQ(std::string(data[1]["path"].GetString()), "/Recordings/old.m4a");
  EXPECT_EQ(data[1]["source"].GetInt(), 1);
  EXPECT_EQ(std::string(data[2]["path"].GetString()), "/Recordings/memo.m4a");
  EXPECT_EQ(data[2]["source"].GetInt(), 2);

  // memo.m4a has not gone by yet: the run goes on for it; the other two need another run.
  EXPECT_FALSE(registry_->Exhausted());
  Upload(Audio("memo.m4a"), "memo audio");
  EXPECT_TRUE(registry_->Exhausted());
  EXPECT_TRUE(registry_->NeedsAnotherRun());
  registry_->BeginRun();
  EXPECT_FALSE(registry_->Exhausted());
  Upload(Audio("cloud.m4a"), "cloud audio");
  Upload(Audio("old.m4a"), "old audio");
  EXPECT_TRUE(registry_->Exhausted());
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(std::string(reports_[1]["sub_command_type"].GetString()), "recording");
  ASSERT_EQ(reports_[1]["recording"].Size(), 3u);
  EXPECT_EQ(std::string(reports_[1]["recording"][0]["type"].GetString()), "recordings_path_map_key");
}

TEST_F(Recordings, AfterACompleteBackupTheJobFinishesWithTheDatabasesThereAre) {
  RegisterRequestedJobs(*registry_, {4}, false);
  registry_->BeginRun();
  Upload("2879acab4b02bb19c218971593be87d2e97f8887",
         R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>memo.m4a</key><dict/></dict>)"
         R"(</plist>)");
  EXPECT_TRUE(reports_.empty());
  registry_->SettleAfterRun();
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0]["data"].Size(), 1u);
  EXPECT_TRUE(registry_->HasJobFor(Audio("memo.m4a")));
  // A stopped recording job registers nothing more.
  registry_->EndUnfinished(kStatusNotFound);
  EXPECT_EQ(reports_.size(), 2u);
  EXPECT_EQ(registry_->jobs().size(), 2u);
}

}  // namespace
}  // namespace backup_extract
