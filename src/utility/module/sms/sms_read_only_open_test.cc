// Opening a host's message database must leave it, its companions and its folder exactly as they were, and must
// still read what only the -wal holds.
#include "utility/module/sms/sms_read_only_open.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "utility/module/sms/sms_document.h"
#include "utility/module/sms/sms_test_databases.h"
#include "utility/module/sms/sms_test_support.h"

namespace {

using namespace sms_test;
namespace fs = std::filesystem;

class SmsReadOnlyOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeTempFolder("sms-open");
    ASSERT_FALSE(root_.empty());
    host_ = root_ + "/host";
    temp_ = root_ + "/tmp";
    fs::create_directories(host_);
    fs::create_directories(temp_);
    if (const char* old = std::getenv("TMPDIR")) old_tmpdir_ = old;
    setenv("TMPDIR", temp_.c_str(), 1);  // where private copies go
  }
  void TearDown() override {
    if (old_tmpdir_.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    }
    std::error_code error;
    fs::remove_all(root_, error);
  }

  std::string Database() const { return host_ + "/sms.db"; }

  // Reads the database and returns the texts of its messages, oldest first.
  std::vector<std::string> MessageTexts() {
    rapidjson::Document document;
    document.SetObject();
    document.AddMember("path", rapidjson::Value(Database().c_str(), document.GetAllocator()),
                       document.GetAllocator());
    std::vector<std::string> texts;
    EXPECT_EQ(QuerySmsDocument(&document), 0);
    if (!document.HasMember("chats")) return texts;
    for (const auto& chat : document["chats"].GetArray()) {
      for (const auto& message : chat["messages"].GetArray()) texts.emplace_back(message["text"].GetString());
    }
    return texts;
  }

  SmsOpenPlan::Kind PlanKind() {
    SmsOpenPlan plan;
    std::string error;
    EXPECT_TRUE(PlanSmsOpen(Database(), &plan, &error)) << error;
    SmsOpenPlan::Kind kind = plan.kind;
    RemoveSmsPrivateCopy(&plan);
    return kind;
  }

  bool TempIsEmpty() const { return fs::is_empty(temp_); }

  static std::string Base() {
    return std::string(kChatLayoutSchema) + InsertChat(1, "a") + InsertMessageIn(1, ChatMessageAt(1, "in the file"));
  }
  static std::string WalOnly() { return InsertMessageIn(1, ChatMessageAt(2, "only in the wal")); }
  static ChatMessage ChatMessageAt(int64_t rowid, const std::string& text) {
    ChatMessage message;
    message.rowid = rowid;
    message.date = std::to_string(rowid * 100);
    message.text = text;
    return message;
  }

  std::string root_, host_, temp_, old_tmpdir_;
};

TEST_F(SmsReadOnlyOpen, AWalSnapshotIsReadWithItsWalAndLeftByteForByte) {
  std::string error;
  ASSERT_TRUE(CreateWalSnapshot(host_, Base(), WalOnly(), &error)) << error;
  ASSERT_GT(fs::file_size(Database() + "-wal"), 0u);
  FolderState before = ReadFolderState(host_);
  EXPECT_EQ(PlanKind(), SmsOpenPlan::kSharedReadOnly);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"in the file", "only in the wal"}));
  EXPECT_EQ(ReadFolderState(host_), before);
}

TEST_F(SmsReadOnlyOpen, AWalWithoutItsShmIsReadFromAPrivateCopyThatIsRemovedAfterwards) {
  std::string error;
  ASSERT_TRUE(CreateWalSnapshot(host_, Base(), WalOnly(), &error)) << error;
  fs::remove(Database() + "-shm");
  FolderState before = ReadFolderState(host_);
  EXPECT_EQ(PlanKind(), SmsOpenPlan::kPrivateCopy);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"in the file", "only in the wal"}));
  EXPECT_EQ(ReadFolderState(host_), before);  // no -shm was made beside it
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(SmsReadOnlyOpen, AWalModeDatabaseWithoutWalContentIsOpenedImmutableAndGetsNoCompanions) {
  // Checkpointed and without its -shm: a plain read-only open would create the -shm, and without the -wal both.
  std::string error;
  ASSERT_TRUE(CreateWalSnapshot(host_, Base(), "", &error)) << error;
  ASSERT_EQ(fs::file_size(Database() + "-wal"), 0u);
  fs::remove(Database() + "-shm");
  for (bool keep_empty_wal : {true, false}) {
    if (!keep_empty_wal) fs::remove(Database() + "-wal");
    FolderState before = ReadFolderState(host_);
    EXPECT_EQ(PlanKind(), SmsOpenPlan::kImmutable);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"in the file"});
    EXPECT_EQ(ReadFolderState(host_), before);
  }
}

TEST_F(SmsReadOnlyOpen, ALeftoverRollbackJournalIsHandledInAPrivateCopy) {
  std::string error;
  ASSERT_TRUE(CreateDatabase(Database(), Base(), &error)) << error;
  std::ofstream(Database() + "-journal") << std::string(512, '\0');  // a journal that holds no transaction
  FolderState before = ReadFolderState(host_);
  EXPECT_EQ(PlanKind(), SmsOpenPlan::kPrivateCopy);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"in the file"});
  EXPECT_EQ(ReadFolderState(host_), before);
  EXPECT_TRUE(TempIsEmpty());
}

TEST(SqliteFileUri, EscapesWhatAUriReserves) {
  EXPECT_EQ(SqliteFileUri("/a b/%?#\xC3\xA9-_.~x.db", "mode=ro"), "file:/a%20b/%25%3F%23%C3%A9-_.~x.db?mode=ro");
}

}  // namespace
