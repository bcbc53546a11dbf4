// The recording readers on local files, as backup extraction runs them (no device): the database rules, the
// backup form of the asset manifest with its codes, composition manifests with both date rules in the time zones
// the host's users live in, and the collection's first-source-wins rule.
#include "utility/db/recordings/recording_readers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace recordings {
namespace {

namespace fs = std::filesystem;

// Sets the process's time zone for one test (POSIX form: "XXX-8" is eight hours east of UTC).
class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneScope() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

class RecordingReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("recordings_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  std::string Write(const std::string& name, const std::string& content) {
    std::ofstream(Path(name), std::ios::binary) << content;
    return Path(name);
  }
  std::string Database(const std::string& inserts) {
    std::string path = Path("Recordings.db");
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    std::string sql =
        "CREATE TABLE ZRECORDING (Z_PK INTEGER PRIMARY KEY, ZDURATION FLOAT, ZPATH VARCHAR, ZCUSTOMLABEL VARCHAR, "
        "ZDATE TIMESTAMP);" +
        inserts;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    return path;
  }

  fs::path folder_;
};

TEST_F(RecordingReaders, DatabaseRowsBecomeRecordsFromTheirRecordingsFolderOn) {
  ZoneScope zone("XXX-8");
  std::string db = Database(
      "INSERT INTO ZRECORDING VALUES (1, 3725.6, '/var/mobile/Media/Recordings/a.m4a', 'Lecture', 1);"
      "INSERT INTO ZRECORDING VALUES (2, 12, '/var/mobile/Media/Other/b.m4a', 'elsewhere', 2);"
      "INSERT INTO ZRECORDING VALUES (3, 59.5, '/private/var/mobile/Media/Recordings/a.m4a', 'again', 3);"
      "INSERT INTO ZRECORDING VALUES (4, 0, '/Recordings/c.m4a', NULL, 0);"
      "INSERT INTO ZRECORDING VALUES (5, -1, '/Recordings/negative.m4a', 'skipped by the query', 4);"
      "INSERT INTO ZRECORDING VALUES (6, 5, NULL, 'no path', 5);");
  RecordingCollection result;
  ASSERT_EQ(ReadRecordingsDatabase(db, kRecordingsSql, kCloudDatabase, nullptr, &result), kReadOk);
  ASSERT_EQ(result.size(), 2u);
  const Recording& c = result.records()[0];  // ZDATE 0 sorts first
  EXPECT_EQ(c.path, "/Recordings/c.m4a");
  EXPECT_EQ(c.label, "");
  EXPECT_EQ(c.date, "");
  EXPECT_EQ(c.date_int, 0.0);
  EXPECT_EQ(c.duration, "00:00");
  const Recording& a = result.records()[1];
  EXPECT_EQ(a.path, "/Recordings/a.m4a");
  EXPECT_EQ(a.label, "Lecture");  // the first row naming the file keeps it
  EXPECT_EQ(a.duration, "01:02:06");
  EXPECT_EQ(a.duration_int, 3725.6);
  EXPECT_EQ(a.date, "2001-01-01 08:00:01");
  EXPECT_EQ(a.size, 0);
  EXPECT_EQ(a.source, kCloudDatabase);
  EXPECT_EQ(RecordingJson(a),
            "{\"path\":\"/Recordings/a.m4a\",\"size\":0,\"label\":\"Lecture\",\"duration_int\":3725.6,"
            "\"duration\":\"01:02:06\",\"date_int\":1.0,\"date\":\"2001-01-01 08:00:01\",\"source\":4}");
}

TEST_F(RecordingReaders, DatabasesThatCannotBeReadGiveTheirCodes) {
  RecordingCollection result;
  EXPECT_EQ(ReadRecordingsDatabase(Write("garbage.db", std::string(4096, 'g')), kRecordingsSql, kDatabase, nullptr,
                                   &result),
            20);
  EXPECT_EQ(ReadRecordingsDatabase(Path("missing/Recordings.db"), kRecordingsSql, kDatabase, nullptr, &result), 19);
  std::string db = Database("");
  EXPECT_EQ(ReadRecordingsDatabase(db, "select nothing from nowhere", kDatabase, nullptr, &result), 20);
  EXPECT_EQ(result.size(), 0u);
}

TEST_F(RecordingReaders, TheBackupManifestGivesNamesOnlyAndRefusesWhatIsNotAList) {
  RecordingCollection result;
  EXPECT_EQ(ReadAssetManifest(Path("absent.plist"), &result), kManifestUnreadable);
  EXPECT_EQ(ReadAssetManifest(Write("empty.plist", ""), &result), kManifestUnreadable);
  EXPECT_EQ(ReadAssetManifest(Write("text.plist", "not a property list"), &result), kManifestNotPlist);
  EXPECT_EQ(ReadAssetManifest(Write("array.plist",
                                    "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array>"
                                    "</plist>"),
                              &result),
            kManifestNotPlist);

  Recording first;
  first.path = "/Recordings/one.m4a";
  first.label = "from the database";
  result.Add(first);
  std::string manifest = Write("AssetManifest.plist",
                               "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                               "<key>one.m4a</key><dict><key>name</key><string>from the manifest</string></dict>"
                               "<key>two.m4a</key><dict><key>name</key><string>Second</string></dict>"
                               "<key>three.m4a</key><dict/>"
                               "</dict></plist>");
  ASSERT_EQ(ReadAssetManifest(manifest, &result), kReadOk);
  ASSERT_EQ(result.size(), 3u);
  EXPECT_EQ(result.records()[0].label, "from the database");
  EXPECT_EQ(result.records()[0].source, kDatabase);
  const Recording* two = result.Find("/Recordings/two.m4a");
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->label, "Second");
  EXPECT_EQ(two->source, kAssetManifest);
  EXPECT_EQ(two->size, 0);
  EXPECT_EQ(result.Find("/Recordings/three.m4a")->label, "");
}

std::string CompositionPlist(const std::string& members) {
  return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>" + members + "</dict></plist>";
}

TEST_F(RecordingReaders, ACompositionDateTextIsUtcAndWinsOverItsNumber) {
  ZoneScope zone("XXX-2");
  CompositionManifest manifest;
  ASSERT_TRUE(ParseCompositionManifest(
      CompositionPlist("<key>RCComposedAVURL</key><string>file:///var/mobile/Media/Recordings/20190501 100000.m4a"
                       "</string><key>RCSavedRecordingTitle</key><string>Harbour</string>"
                       "<key>RCSavedRecordingCreationDate</key><string>2019-05-01T10:00:00Z</string>"
                       "<key>RCSavedRecordingCreationTime</key><real>578484000.5</real>"),
      &manifest));
  EXPECT_EQ(manifest.path, "/Recordings/20190501 100000.m4a");
  EXPECT_EQ(manifest.title, "Harbour");
  EXPECT_EQ(manifest.date, "2019-05-01 12:00:00");
  EXPECT_EQ(manifest.creation_time, 578484000.5);

  // Without a date text (or with one of another form) the number gives the date.
  ASSERT_TRUE(ParseCompositionManifest(
      CompositionPlist("<key>RCComposedAVURL</key><string>/Recordings/x.m4a</string>"
                       "<key>RCSavedRecordingCreationDate</key><string>2019-05-01 10:00:00</string>"
                       "<key>RCSavedRecordingCreationTime</key><integer>1</integer>"),
      &manifest));
  EXPECT_EQ(manifest.date, "2001-01-01 02:00:01");

  EXPECT_FALSE(ParseCompositionManifest(CompositionPlist("<key>RCComposedAVURL</key><string>/Other/x</string>"),
                                        &manifest));
  EXPECT_FALSE(ParseCompositionManifest("", &manifest));
  EXPECT_FALSE(ParseCompositionManifest("garbage", &manifest));
}

TEST_F(RecordingReaders, StoredDatesReadSecondsOrNanosecondsAndZeroIsNone) {
  ZoneScope zone("UTC0");
  EXPECT_EQ(StoredDateText(0), "");
  EXPECT_EQ(StoredDateText(-5), "2001-01-01 00:00:00");
  EXPECT_EQ(StoredDateText(578397600), "2019-05-01 10:00:00");
  EXPECT_EQ(StoredDateText(578397600.0 * 1e9), "2019-05-01 10:00:00");
  EXPECT_EQ(StoredDateText(1e19), "2317-11-21 17:46:40");  // beyond 64 bits: nanoseconds
  EXPECT_EQ(StoredDateText(1e300), "");  // no reading gives a date
}

}  // namespace
}  // namespace recordings
