// Command 1002: voice recordings from the three sources on a simulated phone, each file checked on the device.
#include <rapidjson/document.h>

#include <map>

#include "media/media_scenario.h"
#include "support/media/media_test_databases.h"

namespace e2e {
namespace {

constexpr uint32_t kRecordings = 1002;

std::string Plist(const std::string& members) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + members + "</dict></plist>";
}

class Recordings : public MediaPhone {
 protected:
  void SetUp() override { corvane_.options().env.push_back({"TZ", "XXX-8"}); }
};

TEST_F(Recordings, TheThreeSourcesAreMergedAndOnlyFilesOnTheDeviceAreListed) {
  std::string db = TempFolder("recordings") + "/Recordings.db";
  std::string error;
  ASSERT_TRUE(media_test::RunSql(
      db,
      "CREATE TABLE ZRECORDING (Z_PK INTEGER PRIMARY KEY, ZDURATION FLOAT, ZPATH VARCHAR, ZCUSTOMLABEL VARCHAR, "
      "ZDATE TIMESTAMP);"
      "INSERT INTO ZRECORDING VALUES (1, 61, '/var/mobile/Media/Recordings/a.m4a', 'Alpha', 1);"
      "INSERT INTO ZRECORDING VALUES (2, 5, '/var/mobile/Media/Recordings/empty.m4a', 'Empty', 2);"
      "INSERT INTO ZRECORDING VALUES (3, 5, '/var/mobile/Media/Recordings/missing.m4a', 'Missing', 3);"
      "INSERT INTO ZRECORDING VALUES (4, 5, '/var/mobile/Media/Other/elsewhere.m4a', 'Elsewhere', 4);",
      &error))
      << error;
  AddLocalFile("Recordings/Recordings.db", db);
  profile_.AddFile("Recordings/AssetManifest.plist",
                   Plist("<key>a.m4a</key><dict><key>name</key><string>Manifest alpha</string></dict>"
                         "<key>b.m4a</key><dict><key>name</key><string>Bravo</string></dict>"
                         "<key>gone.m4a</key><dict><key>name</key><string>Gone</string></dict>"));
  profile_.AddFile("Recordings/c.composition/manifest.plist",
                   Plist("<key>RCComposedAVURL</key><string>file:///var/mobile/Media/Recordings/c.m4a</string>"
                         "<key>RCSavedRecordingTitle</key><string>Charlie</string>"
                         "<key>RCSavedRecordingCreationDate</key><string>2019-05-01T10:00:00Z</string>"
                         "<key>RCSavedRecordingCreationTime</key><real>578397600</real>"));
  profile_.AddFile("Recordings/a-edit.composition/manifest.plist",
                   Plist("<key>RCComposedAVURL</key><string>file:///var/mobile/Media/Recordings/a.m4a</string>"
                         "<key>RCSavedRecordingTitle</key><string>Not the label</string>"
                         "<key>RCSavedRecordingCreationTime</key><integer>2</integer>"));
  profile_.AddFile("Recordings/file.composition", "a file, not a folder");
  profile_.AddFile("Recordings/a.m4a", "alpha audio").AddFile("Recordings/b.m4a", "bravo").AddFile(
      "Recordings/c.m4a", "charlie!");
  profile_.AddFile("Recordings/empty.m4a", "");
  StartPhone();

  Listing listing = Run(80, kRecordings);
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 0);
  ASSERT_EQ(listing.reports.size(), 2u);
  EXPECT_EQ(listing.reports[0].info, "{\"Count\":3}");
  rapidjson::Document array;
  array.Parse(listing.reports[1].data.c_str());
  ASSERT_TRUE(array.IsArray());
  ASSERT_EQ(array.Size(), 3u);
  std::map<std::string, const rapidjson::Value*> by_path;
  for (const rapidjson::Value& record : array.GetArray()) by_path[record["path"].GetString()] = &record;

  const rapidjson::Value& a = *by_path.at("/Recordings/a.m4a");
  EXPECT_EQ(a["source"].GetInt(), 1);
  EXPECT_STREQ(a["label"].GetString(), "Alpha");
  EXPECT_EQ(a["size"].GetInt64(), 11);
  EXPECT_STREQ(a["duration"].GetString(), "01:01");
  // The composition of the same file only moved its date.
  EXPECT_EQ(a["date_int"].GetDouble(), 2.0);
  EXPECT_STREQ(a["date"].GetString(), "2001-01-01 08:00:02");

  const rapidjson::Value& b = *by_path.at("/Recordings/b.m4a");
  EXPECT_EQ(b["source"].GetInt(), 2);
  EXPECT_STREQ(b["label"].GetString(), "Bravo");
  EXPECT_EQ(b["size"].GetInt64(), 5);
  EXPECT_STREQ(b["duration"].GetString(), "");
  EXPECT_EQ(std::string(b["date"].GetString()).size(), 19u);

  const rapidjson::Value& c = *by_path.at("/Recordings/c.m4a");
  EXPECT_EQ(c["source"].GetInt(), 3);
  EXPECT_STREQ(c["label"].GetString(), "Charlie");
  EXPECT_STREQ(c["date"].GetString(), "2019-05-01 18:00:00");
  EXPECT_EQ(c["size"].GetInt64(), 8);
}

TEST_F(Recordings, APhoneWithoutRecordingsAnswersAnEmptyList) {
  StartPhone();
  Listing listing = Run(81, kRecordings);
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 0);
  ASSERT_EQ(listing.reports.size(), 2u);
  EXPECT_EQ(listing.reports[0].info, "{\"Count\":0}");
  EXPECT_EQ(listing.reports[1].data, "[]");
}

TEST_F(Recordings, ARecordingsDatabaseThatIsNotOneEndsWithTwenty) {
  profile_.AddFile("Recordings/Recordings.db", std::string(8192, 'r'));
  StartPhone();
  Listing listing = Run(82, kRecordings);
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 20);
  EXPECT_TRUE(listing.reports.empty());
}

}  // namespace
}  // namespace e2e
