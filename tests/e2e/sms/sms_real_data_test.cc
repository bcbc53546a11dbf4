// The messages command on two real message databases (iOS 13.4.1 and 14.1, part of whose content lives only in
// the -wal), checked against SQL of the test's own and against the one-document result, and with the host's copy
// left exactly as it was.
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>

#include "sms/sms_scenario.h"
#include "support/sms/sms_test_support.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// The figures the host should see, computed without the module's code.
struct Figures {
  size_t conversations = 0;
  std::map<std::string, int> messages_by_key;
  std::string newest_key, newest_text, newest_date_text;
};

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

bool ReadFigures(const std::string& path, Figures* figures) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
  const char* const kJoins =
      " from message m left join chat_message_join j on j.message_id = m.rowid left join chat c on c.rowid = "
      "j.chat_id";
  std::string by_key = std::string("select ifnull(c.chat_identifier, ''), count(*)") + kJoins + " group by 1";
  // Dates past 1e11 are nanoseconds; the newest message (the last in date order) gives the newest conversation.
  std::string newest = std::string("select ifnull(c.chat_identifier, ''), m.text, datetime(case when m.date > 1e11 ") +
                       "then m.date / 1000000000 else m.date end + 978307200, 'unixepoch', 'localtime')" + kJoins +
                       " order by m.date desc, m.rowid desc limit 1";
  sqlite3_stmt* statement = nullptr;
  bool ok = sqlite3_prepare_v2(db, by_key.c_str(), -1, &statement, nullptr) == SQLITE_OK;
  while (ok && sqlite3_step(statement) == SQLITE_ROW) {
    figures->messages_by_key[ColumnText(statement, 0)] = sqlite3_column_int(statement, 1);
  }
  sqlite3_finalize(statement);
  figures->conversations = figures->messages_by_key.size();
  ok = ok && sqlite3_prepare_v2(db, newest.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
       sqlite3_step(statement) == SQLITE_ROW;
  if (ok) {
    figures->newest_key = ColumnText(statement, 0);
    figures->newest_text = ColumnText(statement, 1);
    figures->newest_date_text = ColumnText(statement, 2);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return ok;
}

std::string FixtureFolder(const std::string& version) { return std::string(CORVANE_SMS_FIXTURES) + "/" + version; }

class SmsRealData : public SmsScenario, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(FixtureFolder(GetParam()) + "/sms.db")) << "missing fixture " << FixtureFolder(GetParam());
    SmsScenario::SetUp();
    host_copy_ = Folder("host");
    ASSERT_TRUE(sms_test::CopyFolderWritable(FixtureFolder(GetParam()), host_copy_));
    // The test's own SQL opens the database read-write, so it gets a copy of its own.
    scratch_copy_ = Folder("scratch");
    ASSERT_TRUE(sms_test::CopyFolderWritable(FixtureFolder(GetParam()), scratch_copy_));
  }
  std::string host_copy_, scratch_copy_;
};

TEST_P(SmsRealData, TheFiguresAreThoseOfTheTestsOwnSql) {
  Figures figures;
  ASSERT_TRUE(ReadFigures(scratch_copy_ + "/sms.db", &figures));
  ASSERT_GT(figures.conversations, 10u);
  std::vector<std::string> texts = Texts(RunQuery(11, host_copy_ + "/sms.db"));
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0], "count " + std::to_string(figures.conversations));

  std::map<std::string, int> messages_by_key;
  std::string key;
  bool first = true;
  for (size_t i = 1; i < texts.size(); ++i) {
    if (texts[i].rfind("conversation ", 0) == 0) {
      rapidjson::Document conversation;
      conversation.Parse(texts[i].c_str() + 13);
      ASSERT_TRUE(conversation.IsObject()) << texts[i];
      key = conversation["chat_id"].GetString();
      EXPECT_EQ(conversation["message_count"].GetInt(), figures.messages_by_key[key]) << key;
      if (first) {
        EXPECT_EQ(key, figures.newest_key);
        EXPECT_EQ(conversation["snippet"].GetString(), figures.newest_text);
        EXPECT_EQ(conversation["date_str"].GetString(), figures.newest_date_text);
        first = false;
      }
      messages_by_key[key];
    } else {
      ++messages_by_key[key];
    }
  }
  EXPECT_EQ(messages_by_key, figures.messages_by_key);
}

TEST_P(SmsRealData, TheReportsAreTheDocumentsAndTheHostsCopyIsLeftAlone) {
  sms_test::FolderState before = sms_test::ReadFolderState(host_copy_);
  std::vector<hostlink::Report> reports = RunQuery(12, host_copy_ + "/sms.db");
  EXPECT_EQ(sms_test::ReadFolderState(host_copy_), before);
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().code, 0);
  EXPECT_EQ(reports.back().header_code, 1);
  EXPECT_EQ(reports.back().uuid, "");
  EXPECT_EQ(Texts(reports), Expected(scratch_copy_ + "/sms.db"));
}

TEST_P(SmsRealData, WithoutItsShmTheWalIsStillReadAndNoShmAppears) {
  fs::remove(host_copy_ + "/sms.db-shm");
  sms_test::FolderState before = sms_test::ReadFolderState(host_copy_);
  std::vector<std::string> texts = Texts(RunQuery(13, host_copy_ + "/sms.db"));
  EXPECT_EQ(sms_test::ReadFolderState(host_copy_), before);
  EXPECT_EQ(texts, Expected(scratch_copy_ + "/sms.db"));
}

INSTANTIATE_TEST_SUITE_P(Devices, SmsRealData, ::testing::Values("ios-13.4.1", "ios-14.1"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (c == '.' || c == '-') c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace e2e
