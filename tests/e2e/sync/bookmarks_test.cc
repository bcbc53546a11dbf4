// Bookmarks (1400 to 1402) through the real process: the tree, one report per root; changes judged by the
// device's store.
#include "sync_scenario.h"

namespace e2e {
namespace {

using devicesim::Value;

constexpr char kBookmarks[] = "com.apple.Bookmarks";

Value Bookmark(const char* name, const char* url, int64_t position, std::initializer_list<const char*> parent) {
  return SyncRecord("com.apple.bookmarks.Bookmark",
                    {{"name", name}, {"url", url}, {"position", Value(position)}, {"parent", Links(parent)}});
}

class Bookmarks : public SyncScenario {};

TEST_F(Bookmarks, AFolderWithThreeBookmarksIsReportedOnceInPositionOrder) {
  phone_.SetSyncBatchSize(2);
  phone_.AddSyncRecord(kBookmarks, "f1",
                       SyncRecord("com.apple.bookmarks.Folder", {{"name", "News"}, {"position", Value(int64_t{0})}}));
  phone_.AddSyncRecord(kBookmarks, "f2",
                       SyncRecord("com.apple.bookmarks.Folder", {{"name", "Tools"}, {"position", Value(int64_t{1})}}));
  phone_.AddSyncRecord(kBookmarks, "b3", Bookmark("Third", "https://c.example/", 2, {"f1"}));
  phone_.AddSyncRecord(kBookmarks, "b1", Bookmark("First", "https://a.example/", 0, {"f1"}));
  phone_.AddSyncRecord(kBookmarks, "b2", Bookmark("Second", "https://b.example/", 1, {"f1"}));
  // Its folder is no record of the device: shown as a root rather than lost.
  phone_.AddSyncRecord(kBookmarks, "b9", Bookmark("Orphan", "https://o.example/", 5, {"gone"}));
  ASSERT_TRUE(Start());
  SyncRun run = Command(1400);
  EXPECT_EQ(run.code(), 0);
  ASSERT_EQ(run.Of(1400, 1).size(), 1u);
  EXPECT_EQ(run.Of(1400, 1)[0].info, R"({"Count":6})");
  std::vector<hostlink::Report> roots = run.Of(1400, 2);
  ASSERT_EQ(roots.size(), 3u);
  EXPECT_EQ(
      roots[0].data,
      R"({"id":"f1","name":"News","url":"","com_apple_syncservices_RecordEntityName":"com.apple.bookmarks.Folder",)"
      R"("position":0,"children":[)"
      R"({"id":"b1","name":"First","url":"https://a.example/","com_apple_syncservices_RecordEntityName":)"
      R"("com.apple.bookmarks.Bookmark","position":0,"children":[]},)"
      R"({"id":"b2","name":"Second","url":"https://b.example/","com_apple_syncservices_RecordEntityName":)"
      R"("com.apple.bookmarks.Bookmark","position":1,"children":[]},)"
      R"({"id":"b3","name":"Third","url":"https://c.example/","com_apple_syncservices_RecordEntityName":)"
      R"("com.apple.bookmarks.Bookmark","position":2,"children":[]}]})");
  EXPECT_EQ(TextOf(roots[1].data, "id"), "f2");
  EXPECT_EQ(TextOf(roots[2].data, "id"), "b9");
}

TEST_F(Bookmarks, TheReadyPhoneShowsEveryRecordOnce) {
  ASSERT_TRUE(StartReadyProfile());
  SyncRun run = Command(1400);
  EXPECT_EQ(run.code(), 0);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kBookmarks, 102);
  EXPECT_EQ(run.Of(1400, 1)[0].info, "{\"Count\":" + std::to_string(store->records.size()) + "}");
  size_t shown = 0;
  for (const hostlink::Report& root : run.Of(1400, 2)) {
    for (size_t at = root.data.find("\"id\":"); at != std::string::npos; at = root.data.find("\"id\":", at + 1))
      ++shown;
  }
  EXPECT_EQ(shown, store->records.size());
}

TEST_F(Bookmarks, AddingAndDeletingChangeTheDevicesStore) {
  phone_.AddSyncRecord(kBookmarks, "f1", SyncRecord("com.apple.bookmarks.Folder", {{"name", "News"}}));
  ASSERT_TRUE(Start());
  std::string message = Plist(
      "<array><string>SDMessageProcessChanges</string><string>com.apple.Bookmarks</string><dict><key>new-1</key><dict>"
      "<key>com.apple.syncservices.RecordEntityName</key><string>com.apple.bookmarks.Bookmark</string><key>name</key>"
      "<string>Weather</string><key>url</key><string>https://w.example/</string><key>parent</key><array><string>f1"
      "</string></array><key>position</key><integer>0</integer></dict></dict><false/><dict></dict></array>");
  EXPECT_EQ(Command(1401, "", message).code(), 0);
  std::unique_ptr<devicesim::SyncedRecords> store = ReadStore(kBookmarks, 102);
  std::string weather;
  for (const auto& [id, fields] : store->records) {
    if (store->Field(id, "name") == "Weather") weather = id;
  }
  ASSERT_FALSE(weather.empty());
  EXPECT_EQ(store->FirstLink(weather, "parent"), "f1");
  EXPECT_EQ(Command(1402, "\"id\":" + Quoted(weather)).code(), 0);
  EXPECT_EQ(ReadStore(kBookmarks, 102)->records.count(weather), 0u);
  EXPECT_EQ(Command(1401, "", "not a property list").code(), 8);
}

}  // namespace
}  // namespace e2e
