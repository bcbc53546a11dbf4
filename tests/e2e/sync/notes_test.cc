// Notes (1200 to 1202) through the real process, eight hours east of UTC; an added note judged by the device's
// store; the backup query handed to the test plug-in.
#include <ctime>

#include "harness/plugin_folder.h"
#include "sync_scenario.h"

namespace e2e {
namespace {

using devicesim::Value;

constexpr char kNotes[] = "com.apple.Notes";

class Notes : public SyncScenario {};

TEST_F(Notes, FortyFiveNotesComeAsTwentyTwentyAndFiveWithLocalDates) {
  phone_.SetSyncBatchSize(20);
  for (int i = 1; i <= 45; ++i) {
    phone_.AddSyncRecord(kNotes, "n" + std::to_string(i),
                         SyncRecord("com.apple.notes.Note", {{"subject", "S" + std::to_string(i)},
                                                             {"content", "text"},
                                                             {"contentType", "text/plain"},
                                                             {"dateCreated", Value::Date(1709445600)},
                                                             {"dateModified", Value::Date(1709449200)}}));
  }
  ASSERT_TRUE(Start());
  SyncRun run = Command(1200);
  EXPECT_EQ(run.code(), 0);
  EXPECT_EQ(run.Of(1200, 1)[0].info, R"({"Count":45})");
  std::vector<hostlink::Report> pages = run.Of(1200, 2);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(ParseJson(pages[2].data).Size(), 5u);
  EXPECT_EQ(pages[0].data.substr(0, pages[0].data.find("},") + 1),
            R"([{"guid":"n1","subject":"S1","author":"","content":"text","dateCreated":"2024-03-03 14:00:00",)"
            R"("dateCreatedSource":"2024-03-03T06:00:00Z","dateModified":"2024-03-03 15:00:00",)"
            R"("dateModifiedSource":"2024-03-03T07:00:00Z","contentType":"text/plain",)"
            R"("com_apple_syncservices_RecordEntityName":"com.apple.notes.Note"})");
}

TEST_F(Notes, TheReadyPhoneListsEveryNote) {
  ASSERT_TRUE(StartReadyProfile());
  SyncRun run = Command(1200);
  EXPECT_EQ(run.code(), 0);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kNotes, 102);
  EXPECT_EQ(run.Of(1200, 1)[0].info, "{\"Count\":" + std::to_string(store->records.size()) + "}");
}

TEST_F(Notes, AnAddedNoteReachesTheDeviceWithItsSubjectContentAndTodaysDate) {
  ASSERT_TRUE(Start());
  std::time_t before = std::time(nullptr);
  SyncRun run = Command(1201, "\"id\":\"host-note\",\"title\":\"Groceries & <more>\",\"content\":\"eggs\\nmilk\"");
  EXPECT_EQ(run.code(), 0);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kNotes, 102);
  ASSERT_EQ(store->records.size(), 1u);
  const std::string& id = store->records.begin()->first;
  EXPECT_EQ(store->Field(id, "subject"), "Groceries & <more>");
  EXPECT_EQ(store->Field(id, "content"), "eggs\nmilk");
  EXPECT_EQ(store->Field(id, "contentType"), "text/plain");
  ASSERT_EQ(run.Of(1201, 2).size(), 1u);
  rapidjson::Document sent = ParseJson(run.Of(1201, 2)[0].data);
  EXPECT_EQ(std::string(sent[0]["guid"].GetString()), id);
  EXPECT_EQ(std::string(sent[0]["subject"].GetString()), "Groceries & <more>");
  std::tm utc{};
  gmtime_r(&before, &utc);
  char day[16];
  std::strftime(day, sizeof day, "%Y-%m-%d", &utc);
  EXPECT_EQ(std::string(sent[0]["dateCreatedSource"].GetString()).substr(0, 10), day);
  EXPECT_EQ(Command(1201, "\"title\":\"no id\"").code(), 8);
}

TEST_F(Notes, AnEditedNoteKeepsItsIdentifier) {
  phone_.AddSyncRecord(kNotes, "n1", SyncRecord("com.apple.notes.Note", {{"subject", "Old"}, {"content", "x"}}));
  ASSERT_TRUE(Start());
  SyncRun run = Command(1201, "\"id\":\"n1\",\"title\":\"New\",\"content\":\"y\"");
  EXPECT_EQ(run.code(), 0);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kNotes, 102);
  ASSERT_EQ(store->records.size(), 1u);
  EXPECT_EQ(store->Field("n1", "subject"), "New");
  ASSERT_EQ(run.Of(1201, 2).size(), 1u);
  EXPECT_EQ(std::string(ParseJson(run.Of(1201, 2)[0].data)[0]["guid"].GetString()), "n1");
}

TEST_F(Notes, TheBackupQueryNeedsBothPathsAndGoesToThePlugIn) {
  std::string folder = corvane_.temp_dir() + "/plugins/TestPlugin";
  ASSERT_TRUE(AddPluginVersion(folder, "1.0"));
  corvane_.params().load_modules = {folder};
  ASSERT_TRUE(Start());
  SyncRun half = Command(1202, R"("info":{"note_db_path":"/tmp/notes.sqlite"})");
  EXPECT_EQ(half.code(), 21);
  EXPECT_TRUE(half.reports.empty());
  ASSERT_TRUE(corvane_.host().SendCommand(
      77, 1202, R"({"info":{"note_db_path":"/b/notes.sqlite","note_store_db_path":"/b/NoteStore.sqlite"}})", ""));
  auto result = corvane_.host().WaitFor([](const hostlink::Report& r) { return r.task_id == 77; }, 20s);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->stage, 2);
  EXPECT_EQ(result->data, R"(notes:{"note_db_path":"/b/notes.sqlite","note_store_db_path":"/b/NoteStore.sqlite"})");
}

}  // namespace
}  // namespace e2e
