// The summary of a backup folder: which folders count, the name fallbacks, the date in its three forms, and the
// encryption flag.
#include "utility/module/itunes/backup_summary.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "iOSAPI/plist_message.h"

namespace {

namespace fs = std::filesystem;

class BackupSummary : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    folder_ = fs::path(::testing::TempDir()) / ("summary-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  void Write(const char* name, const PlistValue& value) {
    std::ofstream(folder_ / name, std::ios::binary) << *SerializePlist(value, PlistFormat::kBinary);
  }
  std::string Summary() { return BackupSummaryJson(folder_.string(), std::nullopt); }

  fs::path folder_;
};

TEST_F(BackupSummary, AFolderCountsOnlyWithAllThreeFiles) {
  Write("Info.plist", PlistValue::MakeDict());
  Write("Manifest.plist", PlistValue::MakeDict());
  EXPECT_FALSE(IsListedBackup(folder_.string()));
  Write("Status.plist", PlistValue::MakeDict());
  EXPECT_TRUE(IsListedBackup(folder_.string()));
}

TEST_F(BackupSummary, TheDateIsReadAsADateOrAsSecondsOrNanosecondsSinceTheReferenceDate) {
  Write("Info.plist", PlistValue::MakeDict({{"Last Backup Date", PlistValue::Date("2026-12-08T13:15:00Z")}}));
  EXPECT_NE(Summary().find(R"("Last Backup Date":"2026-12-08 13:15:00")"), std::string::npos) << Summary();
  Write("Info.plist", PlistValue::MakeDict({{"Last Backup Date", PlistValue::Integer(60)}}));
  EXPECT_NE(Summary().find(R"("Last Backup Date":"2001-01-01 00:01:00")"), std::string::npos) << Summary();
  Write("Info.plist", PlistValue::MakeDict({{"Last Backup Date", PlistValue::Integer(60000000000000000)}}));
  EXPECT_NE(Summary().find(R"("Last Backup Date":"2002-11-26 10:40:00")"), std::string::npos) << Summary();
}

TEST_F(BackupSummary, NamesFallBackAndTheEncryptionFlagIsANumber) {
  Write("Info.plist", PlistValue::MakeDict({{"Display Name", PlistValue::String("Shown")},
                                            {"Unique Identifier", PlistValue::String("U")}}));
  Write("Manifest.plist", PlistValue::MakeDict({{"IsEncrypted", PlistValue::Boolean(true)}}));
  std::string summary = BackupSummaryJson(folder_.string(), 42);
  EXPECT_NE(summary.find(R"("Device Name":"Shown")"), std::string::npos) << summary;
  EXPECT_NE(summary.find(R"("Unique Identifier":"U")"), std::string::npos) << summary;
  EXPECT_NE(summary.find(R"("IsEncrypted":1,"Size":42})"), std::string::npos) << summary;
  fs::remove(folder_ / "Info.plist");
  EXPECT_EQ(Summary(), "");
}

}  // namespace
