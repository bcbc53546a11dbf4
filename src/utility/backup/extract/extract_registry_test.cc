// The names of the known databases, the registration of the requested jobs, and the registry's rules: which files
// are written, when a job reports, when a run has nothing more to give, and how unfinished jobs end.
#include <gtest/gtest.h>

#include "utility/backup/extract/backup_names.h"
#include "utility/backup/extract/extract_jobs.h"
#include "utility/backup/extract/extract_test_support.h"

namespace backup_extract {
namespace {

constexpr char kSms[] = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
constexpr char kContact[] = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
constexpr char kNotes[] = "ca3bc056d4da0bbf88b5fb3be254f3b7147e639c";
constexpr char kNoteStore[] = "4f98687d8ab0d6d1a371110e6b7300f6e465bef2";

TEST(BackupNames, EachKnownNameIsTheDigestOfItsDomainPath) {
  EXPECT_EQ(BackupFileName("HomeDomain", "Library/SMS/sms.db"), kSms);
  for (const KnownDatabase& known : KnownDatabases()) {
    EXPECT_EQ(BackupFileName(known.domain, known.relative_path), known.backup_name)
        << known.domain << "-" << known.relative_path;
  }
}

TEST(BackupNames, OnlyDigestsAndTheManifestsAreNamesFromLocalPaths) {
  EXPECT_EQ(NameFromLocalPath(std::string("/w/udid-1/Snapshot/3d/") + kSms), kSms);
  EXPECT_EQ(NameFromLocalPath(std::string("/w/") + kSms + "-20240101"), kSms);
  EXPECT_EQ(NameFromLocalPath("/w/udid-1/Manifest.db"), "Manifest.db");
  EXPECT_EQ(NameFromLocalPath("/w/udid-1/Manifest.plist"), "Manifest.plist");
  EXPECT_EQ(NameFromLocalPath("/w/udid-1/Status.plist"), "");
  EXPECT_EQ(NameFromLocalPath("/w/3D0D7E5FB2CE288813306E4D4636395E047A3D28"), "");  // upper case
  EXPECT_EQ(NameFromLocalPath("/w/3d0d7e5fb2ce288813306e4d4636395e047a3d2"), "");   // 39 digits
  EXPECT_EQ(NameFromLocalPath("/w/.."), "");
  EXPECT_FALSE(IsBackupFileName("../../../../../../../../../../../../etc/x"));
}

using Registration = ExtractTest;

TEST_F(Registration, TwoTypesOnAnOldDeviceMakeTwoJobsAndTwoNames) {
  EXPECT_EQ(RegisterRequestedJobs(*registry_, {1, 2}, false), 2u);
  EXPECT_EQ(registry_->jobs().size(), 2u);
  EXPECT_EQ(registry_->total_names(), 2u);
  EXPECT_TRUE(registry_->HasJobFor(kSms));
  EXPECT_TRUE(registry_->HasJobFor(kContact));
  EXPECT_FALSE(registry_->HasJobFor("Manifest.db"));
}

TEST_F(Registration, BothWhatsAppTypesMakeOneJobAndUnknownOrRepeatedTypesNone) {
  EXPECT_EQ(RegisterRequestedJobs(*registry_, {5, 6, 1, 1, 99}, true), 2u);
  ASSERT_EQ(registry_->jobs().size(), 3u);  // the manifest job, whatsapp, sms
  EXPECT_EQ(registry_->jobs()[0]->name(), "Manifest.db");
  EXPECT_EQ(registry_->jobs()[1]->name(), "whatsapp");
  EXPECT_EQ(registry_->total_names(), 4u);
}

using Arrivals = ExtractTest;

TEST_F(Arrivals, AJobReportsOnceWhenItsLastFileIsWrittenAndOnlyWantedFilesAreWritten) {
  RegisterRequestedJobs(*registry_, {1, 3}, false);
  EXPECT_FALSE(Offer("0000000000000000000000000000000000000000"));
  EXPECT_FALSE(Offer("Status.plist"));
  std::string written = Upload(kSms, "messages");
  ASSERT_EQ(reports_.size(), 1u);
  const rapidjson::Document& sms = reports_[0];
  EXPECT_EQ(std::string(sms["sub_command_type"].GetString()), "sms");
  EXPECT_EQ(sms["status"].GetInt(), kStatusComplete);
  ASSERT_EQ(sms["sms"].Size(), 1u);
  const rapidjson::Value& file = sms["sms"][0];
  EXPECT_EQ(file["size"].GetInt(), 8);
  EXPECT_EQ(std::string(file["type"].GetString()), "sms_db_path");
  EXPECT_EQ(std::string(file["relativePath"].GetString()), "Library/SMS/sms.db");
  // The report names the kept copy, which outlives the device moving or removing the written file.
  std::string kept = file["path"].GetString();
  EXPECT_EQ(kept, Path("kept/") + kSms);
  std::filesystem::remove(written);
  EXPECT_EQ(FileContent(kept), "messages");
  // A complete job wants nothing more.
  EXPECT_FALSE(Offer(kSms));

  // The notes job waits for both of its files: the same one twice does not complete it.
  Upload(kNotes, "old notes");
  Upload(kNotes, "old notes again");
  EXPECT_EQ(reports_.size(), 1u);
  Upload(kNoteStore, "");
  ASSERT_EQ(reports_.size(), 2u);
  // An empty file is left out of the result.
  EXPECT_EQ(reports_[1]["note"].Size(), 1u);
  EXPECT_EQ(std::string(reports_[1]["note"][0]["type"].GetString()), "note_db_path");
}

TEST_F(Arrivals, ARunIsExhaustedOnceEveryJobButTheManifestOneIsComplete) {
  RegisterRequestedJobs(*registry_, {1}, true);
  registry_->BeginRun();
  EXPECT_FALSE(registry_->Exhausted());
  Upload(kSms, "messages");
  EXPECT_TRUE(registry_->Exhausted());
  EXPECT_FALSE(registry_->NeedsAnotherRun());
  // The manifest job still wants its files, should the run go on.
  EXPECT_TRUE(Offer("Manifest.db"));
}

TEST_F(Arrivals, UnfinishedJobsEachEndWithOneReportOfTheGivenStatus) {
  RegisterRequestedJobs(*registry_, {1, 2, 3}, true);
  Upload(kSms, "messages");
  Upload(kNotes, "notes");
  registry_->EndUnfinished(kStatusStopped);
  ASSERT_EQ(reports_.size(), 4u);  // sms when complete, then contact, note and the manifest job
  EXPECT_EQ(ReportOf("sms")->operator[]("status").GetInt(), kStatusComplete);
  for (const char* job : {"contact", "note", "Manifest.db"}) {
    ASSERT_NE(ReportOf(job), nullptr) << job;
    EXPECT_EQ((*ReportOf(job))["status"].GetInt(), kStatusStopped) << job;
  }
  EXPECT_EQ((*ReportOf("note"))["note"].Size(), 1u);  // what did arrive
  registry_->EndUnfinished(kStatusNotFound);
  EXPECT_EQ(reports_.size(), 4u);
  EXPECT_FALSE(Offer(kContact));
}

}  // namespace
}  // namespace backup_extract
