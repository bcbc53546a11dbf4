// Opening a host's database must leave it, its companions and its folder exactly as they were, and must still
// read what only the -wal holds.
#include "utility/db/read_only_open.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "utility/db/sqlite_database.h"

namespace {

namespace fs = std::filesystem;

// Every file of a folder with its content and modification time.
using FolderState = std::map<std::string, std::pair<std::string, fs::file_time_type>>;

FolderState ReadFolderState(const std::string& folder) {
  FolderState state;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    state[entry.path().filename().string()] = {content.str(), fs::last_write_time(entry.path())};
  }
  return state;
}

bool Execute(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

class ReadOnlyOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = (fs::temp_directory_path() / ("corvane-ro-" + std::to_string(::getpid()))).string();
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
    fs::remove_all(root_);
  }

  std::string Database() const { return host_ + "/sms.db"; }

  // Writes the database the way a device leaves it: "in the file" checkpointed, "only in the wal" (when asked
  // for) only in the -wal, copied while the writer is still open.
  void CreateWalDatabase(bool with_wal_content) {
    std::string source_folder = root_ + "/source";
    fs::create_directories(source_folder);
    std::string source = source_folder + "/sms.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(source.c_str(), &db), SQLITE_OK);
    ASSERT_TRUE(Execute(db, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                            "CREATE TABLE message(text TEXT); INSERT INTO message VALUES('in the file');"
                            "PRAGMA wal_checkpoint(TRUNCATE);"));
    if (with_wal_content) {
      ASSERT_TRUE(Execute(db, "INSERT INTO message VALUES('only in the wal');"));
    }
    for (const char* suffix : {"", "-wal", "-shm"}) fs::copy_file(source + suffix, Database() + suffix);
    sqlite3_close(db);
  }

  std::vector<std::string> Texts() {
    SqliteDatabase db;
    std::vector<std::string> texts;
    if (db.OpenHostFile(Database()) != kDbOk) return texts;
    SqliteStatement statement;
    if (db.Prepare("SELECT text FROM message ORDER BY rowid", &statement) != kDbOk) return texts;
    while (statement.Step()) texts.push_back(statement.Text(0));
    return texts;
  }

  ReadOnlyOpenPlan::Kind PlanKind() {
    ReadOnlyOpenPlan plan;
    std::string error;
    EXPECT_TRUE(PlanReadOnlyOpen(Database(), &plan, &error)) << error;
    ReadOnlyOpenPlan::Kind kind = plan.kind;
    RemovePrivateCopy(&plan);
    return kind;
  }

  bool TempIsEmpty() const { return fs::is_empty(temp_); }

  std::string root_, host_, temp_, old_tmpdir_;
};

TEST_F(ReadOnlyOpenTest, AWalSnapshotIsReadWithItsWalAndLeftByteForByte) {
  CreateWalDatabase(true);
  ASSERT_GT(fs::file_size(Database() + "-wal"), 0u);
  FolderState before = ReadFolderState(host_);
  EXPECT_EQ(PlanKind(), ReadOnlyOpenPlan::kSharedReadOnly);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"in the file", "only in the wal"}));
  EXPECT_EQ(ReadFolderState(host_), before);
}

TEST_F(ReadOnlyOpenTest, AWalWithoutItsShmIsReadFromAPrivateCopyThatIsRemovedAfterwards) {
  CreateWalDatabase(true);
  fs::remove(Database() + "-shm");
  FolderState before = ReadFolderState(host_);
  EXPECT_EQ(PlanKind(), ReadOnlyOpenPlan::kPrivateCopy);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"in the file", "only in the wal"}));
  EXPECT_EQ(ReadFolderState(host_), before);  // no -shm was made beside it
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(ReadOnlyOpenTest, AWalModeDatabaseWithoutWalContentIsOpenedImmutableAndGetsNoCompanions) {
  // Checkpointed and without its -shm: a plain read-only open would create the -shm, and without the -wal both.
  CreateWalDatabase(false);
  ASSERT_EQ(fs::file_size(Database() + "-wal"), 0u);
  fs::remove(Database() + "-shm");
  for (bool keep_empty_wal : {true, false}) {
    if (!keep_empty_wal) fs::remove(Database() + "-wal");
    FolderState before = ReadFolderState(host_);
    EXPECT_EQ(PlanKind(), ReadOnlyOpenPlan::kImmutable);
    EXPECT_EQ(Texts(), std::vector<std::string>{"in the file"});
    EXPECT_EQ(ReadFolderState(host_), before);
  }
}

TEST_F(ReadOnlyOpenTest, ALeftoverRollbackJournalIsHandledInAPrivateCopy) {
  CreateWalDatabase(false);
  fs::remove(Database() + "-wal");
  fs::remove(Database() + "-shm");
  std::ofstream(Database() + "-journal") << std::string(512, '\0');  // a journal that holds no transaction
  FolderState before = ReadFolderState(host_);
  EXPECT_EQ(PlanKind(), ReadOnlyOpenPlan::kPrivateCopy);
  EXPECT_EQ(Texts(), std::vector<std::string>{"in the file"});
  EXPECT_EQ(ReadFolderState(host_), before);
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(ReadOnlyOpenTest, AHostFileThatIsNoDatabaseCannotBeOpenedAndIsLeftAlone) {
  std::ofstream(Database()) << "not a database";
  FolderState before = ReadFolderState(host_);
  EXPECT_TRUE(Texts().empty());
  EXPECT_EQ(ReadFolderState(host_), before);
}

TEST(SqliteFileUri, EscapesWhatAUriReserves) {
  EXPECT_EQ(SqliteFileUri("/a b/%?#\xC3\xA9-_.~x.db", "mode=ro"), "file:/a%20b/%25%3F%23%C3%A9-_.~x.db?mode=ro");
}

}  // namespace
