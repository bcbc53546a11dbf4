// The library queries on the real iOS 13.4.1 and 14.1 libraries and on generated ones of both schemas, held
// against independent SQL over the same files; the fallbacks; the records' texts; the filter's path rules.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <map>

#include "support/media/media_test_databases.h"
#include "utility/duration_text.h"
#include "utility/module/media/media_filter.h"
#include "utility/module/media/media_queries.h"

namespace media {
namespace {

namespace fs = std::filesystem;
using media_test::PlaylistRow;
using media_test::TrackRow;

class MediaQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("media_query_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  fs::path folder_;
};

std::vector<std::string> Titles(const std::vector<MediaItem>& items) {
  std::vector<std::string> titles;
  for (const MediaItem& item : items) titles.push_back(item.title);
  return titles;
}

class RealLibrary : public MediaQueries, public ::testing::WithParamInterface<const char*> {};

TEST_P(RealLibrary, ItemsPlaylistsAndTracksAreWhatTheTablesHold) {
  std::string path = media_test::CopyRealLibrary(GetParam(), Path("copy"));
  SqliteDatabase db;
  ASSERT_EQ(db.Open(path), kDbOk);
  MediaLists lists;
  ASSERT_EQ(QueryMediaItems(db, &lists), kDbOk);

  const std::string listed =
      "from item i join item_extra ie on ie.item_pid = i.item_pid where ie.total_time_ms <> 0 ";
  EXPECT_EQ(static_cast<int64_t>(lists.songs.size()),
            media_test::Scalar(path, "select count(*) " + listed + "and ie.media_kind not in (2, 33, 64)"));
  EXPECT_EQ(static_cast<int64_t>(lists.movies.size()),
            media_test::Scalar(path, "select count(*) " + listed + "and ie.media_kind = 2"));
  EXPECT_GT(lists.songs.size(), 200u);
  EXPECT_EQ(Titles(lists.songs),
            media_test::Column(path, "select ie.title " + listed +
                                         "and ie.media_kind not in (2, 33, 64) order by ie.title collate nocase, "
                                         "i.rowid"));
  // The podcast episodes are the rows with files; their path is the base location and the file name.
  auto podcast = std::find_if(lists.songs.begin(), lists.songs.end(),
                              [](const MediaItem& item) { return item.media_kind == 4; });
  ASSERT_NE(podcast, lists.songs.end());
  EXPECT_EQ(podcast->path.rfind("Podcasts/", 0), 0u) << podcast->path;
  EXPECT_EQ(podcast->file_size,
            media_test::Scalar(path, "select file_size from item_extra where item_pid = " +
                                         std::to_string(podcast->item_pid)));

  std::vector<Playlist> playlists;
  ASSERT_EQ(QueryPlaylists(db, std::nullopt, &playlists), kDbOk);
  EXPECT_EQ(static_cast<int64_t>(playlists.size()),
            media_test::Scalar(path, "select count(*) from container where is_hidden = 0 and container_pid not in "
                                     "(select primary_container_pid from db_info)"));
  ASSERT_FALSE(playlists.empty());
  for (Playlist& playlist : playlists) {
    ASSERT_EQ(QueryTracks(db, kTrackSql, playlist.container_pid, &playlist.item_pids), kDbOk);
    EXPECT_EQ(static_cast<int64_t>(playlist.item_pids.size()),
              media_test::Scalar(path, "select count(*) from container_item where container_pid = " +
                                           std::to_string(playlist.container_pid)))
        << playlist.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Ios, RealLibrary, ::testing::Values("ios-13.4.1", "ios-14.1"));

TEST_F(MediaQueries, CurrentSchemaClassifiesByKindAndSkipsZeroDurations) {
  std::string path = Path("MediaLibrary.sqlitedb");
  std::string error;
  ASSERT_TRUE(media_test::WriteCurrentLibrary(
      path,
      {{1, "b song", 1, 1000, "b.mp3", 10}, {2, "A movie", 2, 5000, "m.m4v", 20}, {3, "clip", 33, 10, "c.m4v", 1},
       {4, "episode", 64, 10, "e.m4v", 1}, {5, "silent", 1, 0, "s.mp3", 1}, {6, "podcast", 4, 10, "p.mp3", 1},
       {7, "a song", 1, 10, "a.mp3", 1}},
      {}, true, &error))
      << error;
  SqliteDatabase db;
  ASSERT_EQ(db.Open(path), kDbOk);
  MediaLists lists;
  ASSERT_EQ(QueryMediaItems(db, &lists), kDbOk);
  EXPECT_EQ(Titles(lists.songs), (std::vector<std::string>{"a song", "b song", "podcast"}));
  EXPECT_EQ(Titles(lists.movies), std::vector<std::string>{"A movie"});
  EXPECT_EQ(Titles(lists.music_videos), std::vector<std::string>{"clip"});
  EXPECT_EQ(Titles(lists.tv_shows), std::vector<std::string>{"episode"});
  const MediaItem& movie = lists.movies[0];
  EXPECT_EQ(movie.path, "iTunes_Control/Music/F00/m.m4v");
  EXPECT_EQ(movie.file_size, 20);
  EXPECT_EQ(movie.album, "Harbour Songs");
  EXPECT_EQ(movie.artist, "The Pier Band");
  EXPECT_EQ(movie.genre, "Folk");
  EXPECT_EQ(movie.comment, "");  // NULL
  EXPECT_EQ(movie.year, 2020);
}

TEST_F(MediaQueries, TracksComeFromContainerItemBlobsWhenTheTableIsMissing) {
  std::string path = Path("MediaLibrary.sqlitedb");
  std::string error;
  ASSERT_TRUE(media_test::WriteCurrentLibrary(path, {}, {{10, "mix", {5, -2, 0x0102030405060708}}, {11, "none", {}}},
                                              false, &error))
      << error;
  // Three bytes that make no whole pid, and a NULL blob.
  ASSERT_TRUE(media_test::RunSql(path,
                                 "UPDATE container_items SET item_pid_data = item_pid_data || X'AABBCC' WHERE "
                                 "container_pid = 10; UPDATE container_items SET item_pid_data = NULL WHERE "
                                 "container_pid = 11;",
                                 &error));
  SqliteDatabase db;
  ASSERT_EQ(db.Open(path), kDbOk);
  std::vector<int64_t> pids;
  ASSERT_EQ(QueryTracks(db, kTrackSql, 10, &pids), kDbOk);
  EXPECT_EQ(pids, (std::vector<int64_t>{5, -2, 0x0102030405060708}));
  pids.clear();
  ASSERT_EQ(QueryTracks(db, kTrackSql, 11, &pids), kDbOk);
  EXPECT_TRUE(pids.empty());

  ASSERT_TRUE(media_test::RunSql(path, "DROP TABLE container_items;", &error));
  EXPECT_EQ(QueryTracks(db, kTrackSql, 10, &pids), kDbBadStatement);
}

TEST_F(MediaQueries, PlaylistsFallBackToTheSecondTextAndFailWhenNeitherPrepares) {
  std::string path = Path("MediaLibrary.sqlitedb");
  std::string error;
  ASSERT_TRUE(media_test::RunSql(path,
                                 "CREATE TABLE container (container_pid INTEGER, name TEXT, media_kinds INTEGER, "
                                 "parent_pid INTEGER, smart_is_folder INTEGER, is_hidden INTEGER);"
                                 "CREATE TABLE db_info (primary_container_pid INTEGER);"
                                 "INSERT INTO db_info VALUES (1);"
                                 "INSERT INTO container VALUES (1, 'Library', 0, 0, 0, 0), (2, 'Shown', 8, 0, 1, 0), "
                                 "(3, 'Hidden', 8, 0, 0, 1), (4, NULL, 8, 2, 0, 0);",
                                 &error))
      << error;
  SqliteDatabase db;
  ASSERT_EQ(db.Open(path), kDbOk);
  std::vector<Playlist> playlists;
  ASSERT_EQ(QueryPlaylists(db, std::nullopt, &playlists), kDbOk);
  ASSERT_EQ(playlists.size(), 2u);  // the second text keeps nameless containers
  EXPECT_EQ(playlists[0].name, "Shown");
  EXPECT_EQ(playlists[0].media_type, 8);
  EXPECT_EQ(playlists[0].smart_is_folder, 1);
  EXPECT_EQ(playlists[1].name, "");
  EXPECT_EQ(playlists[1].parent_pid, 2);

  ASSERT_TRUE(media_test::RunSql(path, "DROP TABLE db_info;", &error));
  playlists.clear();
  EXPECT_EQ(QueryPlaylists(db, std::nullopt, &playlists), kDbBadStatement);
  EXPECT_EQ(QueryPlaylists(db, std::string_view(kOlderPlaylistSql), &playlists), kDbBadStatement);
}

TEST_F(MediaQueries, TheOlderPairListsOnlyLocatedItemsByTheOlderKinds) {
  std::string library = Path("Library.itdb");
  std::string locations = Path("Locations.itdb");
  std::string error;
  ASSERT_TRUE(media_test::WriteOlderLibrary(
      library, locations,
      {{1, "song", 1, 1000, "a.mp3", 11}, {2, "movie", 2, 1000, "b.m4v", 12}, {3, "show", 64 | 32, 1000, "c.m4v", 13},
       {4, "video", 32, 1000, "d.m4v", 14}, {5, "podcast", 4, 1000, "e.mp3", 15}, {6, "nowhere", 1, 1000, "", 0},
       {7, "silent", 1, 0, "f.mp3", 16}},
      {{20, "old list", {1, 4}}}, &error))
      << error;
  SqliteDatabase db;
  ASSERT_EQ(db.Open(library), kDbOk);
  MediaLists lists;
  ASSERT_EQ(QueryOlderItems(db, locations, &lists), kDbOk);
  EXPECT_EQ(Titles(lists.songs), std::vector<std::string>{"song"});
  EXPECT_EQ(Titles(lists.movies), std::vector<std::string>{"movie"});
  EXPECT_EQ(Titles(lists.tv_shows), std::vector<std::string>{"show"});
  EXPECT_EQ(Titles(lists.music_videos), std::vector<std::string>{"video"});
  EXPECT_EQ(lists.songs[0].path, "iTunes_Control/Music/F01/a.mp3");
  EXPECT_EQ(lists.songs[0].file_size, 11);
  EXPECT_EQ(lists.songs[0].genre, "Folk");

  std::vector<Playlist> playlists;
  ASSERT_EQ(QueryPlaylists(db, std::string_view(kOlderPlaylistSql), &playlists), kDbOk);
  ASSERT_EQ(playlists.size(), 1u);
  ASSERT_EQ(QueryTracks(db, kOlderTrackSql, 20, &playlists[0].item_pids), kDbOk);
  EXPECT_EQ(playlists[0].item_pids, (std::vector<int64_t>{1, 4}));

  // Without a readable locations copy no item has a location.
  MediaLists without;
  ASSERT_EQ(QueryOlderItems(db, Path("missing.itdb"), &without), kDbOk);
  EXPECT_TRUE(without.songs.empty() && without.movies.empty());
}

TEST_F(MediaQueries, FilesThatAreNotTheExpectedDatabaseEndInTwentyNotInACrash) {
  std::string garbage = Path("garbage.sqlitedb");
  std::ofstream(garbage) << std::string(10000, 'x');
  std::string truncated = Path("truncated.sqlitedb");
  std::string real = media_test::CopyRealLibrary("ios-14.1", Path("real"));
  fs::copy_file(real, truncated);
  fs::resize_file(truncated, 5000);
  std::string other = Path("other.sqlitedb");
  std::string error;
  ASSERT_TRUE(media_test::RunSql(other, "CREATE TABLE item (x);", &error));
  for (const std::string& path : {garbage, truncated, other}) {
    SqliteDatabase db;
    ASSERT_EQ(db.Open(path), kDbOk) << path;  // SQLite reads nothing at open
    MediaLists lists;
    EXPECT_EQ(QueryMediaItems(db, &lists), kDbBadStatement) << path;
  }
}

TEST(MediaRecords, DurationTextRoundsHalfUpAndShowsHoursOnlyWhenThereAreAny) {
  EXPECT_EQ(DurationText(3725.6), "01:02:06");
  EXPECT_EQ(DurationText(59.499), "00:59");
  EXPECT_EQ(DurationText(59.5), "01:00");
  EXPECT_EQ(DurationText(0), "00:00");
  EXPECT_EQ(DurationText(-5), "00:00");
  EXPECT_EQ(DurationText(360000), "100:00:00");
  EXPECT_EQ(DurationText(1e300), "1000000:00:00");  // bounded, not undefined
}

TEST(MediaRecords, ItemJsonHasTheMembersInTheHostsOrder) {
  MediaItem item;
  item.item_pid = -7;
  item.title = "Say \"hi\"";
  item.total_time_ms = 59500;
  item.path = "a/b.mp3";
  std::string json = ItemJson(item);
  EXPECT_EQ(json.rfind("{\"item_pid\":-7,\"title\":\"Say \\\"hi\\\"\",\"total_time_ms\":\"01:00\","
                       "\"total_time_ms_int\":59500.0,\"media_kind\":0",
                       0),
            0u)
      << json;
  EXPECT_NE(json.find("\"year\":0,\"date_modified\":\"\",\"date_modified_int\":0,\"album\":\"\""), std::string::npos);
  EXPECT_NE(json.find("\"genre_id\":0,\"path\":\"a/b.mp3\",\"file_size\":0}"), std::string::npos);
  EXPECT_EQ(JsonDouble(0.25), "0.25");
  EXPECT_EQ(JsonDouble(std::numeric_limits<double>::quiet_NaN()), "0.0");
  EXPECT_EQ(PlaylistTracksJson(5, {1, -2}), "{\"Playlist\":5,\"item_pids\":[1,-2]}");
  EXPECT_EQ(PlaylistTracksJson(5, {}), "{\"Playlist\":5,\"item_pids\":[]}");
}

TEST(MediaFilter, PathRulesComeBeforeAnyRequestAndOrderIsKept) {
  EXPECT_FALSE(MayNameMediaFile(""));
  EXPECT_FALSE(MayNameMediaFile("/"));
  EXPECT_FALSE(MayNameMediaFile("song.mp3"));
  EXPECT_FALSE(MayNameMediaFile("Music.d/song"));
  EXPECT_TRUE(MayNameMediaFile("Podcasts/x.mp3"));

  std::vector<MediaItem> items(5);
  items[0].path = "a/1.mp3";
  items[1].path = "/";
  items[2].path = "a/2.mp3";
  items[3].path = "a/3";
  items[4].path = "a/4.mp3";
  std::vector<std::string> asked;
  FilterItems(&items, [&asked](const std::vector<std::string>& paths) {
    asked = paths;
    return std::vector<bool>{true, false, true};
  });
  EXPECT_EQ(asked, (std::vector<std::string>{"a/1.mp3", "a/2.mp3", "a/4.mp3"}));
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].path, "a/1.mp3");
  EXPECT_EQ(items[1].path, "a/4.mp3");
}

}  // namespace
}  // namespace media
