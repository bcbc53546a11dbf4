// Command 1000 through the real process: the real iOS 13.4.1 and 14.1 libraries in the simulated phone's file
// tree, with a file for every row that names one (but one missing and one a folder), held against the test's own
// SQL; generated libraries for the batches, the older pair and the failures.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <thread>

#include "media/media_scenario.h"
#include "support/media/media_test_databases.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using media_test::TrackRow;

constexpr uint32_t kLibrary = 1000;
constexpr uint32_t kSongs = 1004, kMovies = 1005, kTvShows = 1006, kMusicVideos = 1007, kPlaylists = 1009,
                   kPlaylistTracks = 1010;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

class RealLibraryOnPhone : public MediaPhone, public ::testing::WithParamInterface<const char*> {};

TEST_P(RealLibraryOnPhone, TheHostSeesTheRowsWhoseFilesAreOnTheDevice) {
  std::string copy = media_test::CopyRealLibrary(GetParam(), TempFolder("library"));
  for (const char* suffix : {"", "-wal", "-shm"}) {
    AddLocalFile(std::string(kLibraryDevicePath) + suffix, copy + suffix);
  }
  // The rows that name a file: a location with an extension under a base location.
  const std::string located =
      " from item i join item_extra ie on ie.item_pid = i.item_pid join base_location bl on bl.base_location_id = "
      "i.base_location_id where ie.total_time_ms <> 0 and ie.location like '%.%'";
  std::vector<std::string> paths = media_test::Column(copy, "select bl.path || '/' || ie.location" + located +
                                                                " order by i.item_pid");
  std::vector<std::string> pids = media_test::Column(copy, "select i.item_pid" + located + " order by i.item_pid");
  ASSERT_GE(paths.size(), 10u);
  // The first row's file is missing, the second's is a folder: neither is listed.
  profile_.AddFolder(paths[1]);
  for (size_t i = 2; i < paths.size(); ++i) profile_.AddFile(paths[i], "audio " + pids[i]);
  StartPhone();

  Listing listing = Run(50, kLibrary);
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 0);
  std::vector<uint32_t> order = listing.TypeOrder();
  EXPECT_EQ(order, (std::vector<uint32_t>{kSongs, kMovies, kMusicVideos, kTvShows, kPlaylists, kPlaylistTracks}));

  std::vector<std::string> expected_titles = media_test::Column(
      copy, "select ie.title" + located + " and ie.media_kind not in (2, 33, 64) and i.item_pid not in (" + pids[0] +
                ", " + pids[1] + ")");
  std::vector<std::string> titles = listing.Field(kSongs, "title");
  EXPECT_EQ(listing.CountOf(kSongs), "{\"Count\":" + std::to_string(expected_titles.size()) + "}");
  EXPECT_TRUE(std::is_sorted(titles.begin(), titles.end(),
                             [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); }));
  std::sort(titles.begin(), titles.end());
  std::sort(expected_titles.begin(), expected_titles.end());
  EXPECT_EQ(titles, expected_titles);
  std::vector<std::string> listed_pids = listing.Field(kSongs, "item_pid");
  EXPECT_EQ(std::count(listed_pids.begin(), listed_pids.end(), pids[0]), 0);
  EXPECT_EQ(std::count(listed_pids.begin(), listed_pids.end(), pids[1]), 0);
  EXPECT_EQ(listing.CountOf(kMovies), "{\"Count\":0}");

  int64_t playlists = media_test::Scalar(copy,
                                         "select count(*) from container where is_hidden = 0 and container_pid not "
                                         "in (select primary_container_pid from db_info)");
  EXPECT_EQ(listing.CountOf(kPlaylists), "{\"Count\":" + std::to_string(playlists) + "}");
  std::vector<std::string> playlist_pids = listing.Field(kPlaylists, "container_pid");
  ASSERT_EQ(static_cast<int64_t>(playlist_pids.size()), playlists);
  // Each playlist's count report, then its tracks, in the playlists' order.
  size_t next = 0;
  for (const hostlink::Report& report : listing.reports) {
    if (report.packet_type != kPlaylistTracks) continue;
    ASSERT_LT(next / 2, playlist_pids.size());
    const std::string& pid = playlist_pids[next / 2];
    if (next % 2 == 0) {
      int64_t tracks =
          media_test::Scalar(copy, "select count(*) from container_item where container_pid = " + pid);
      EXPECT_EQ(report.info, "{\"Playlist\":" + pid + ",\"Exist\":1,\"Count\":" + std::to_string(tracks) + "}");
    } else {
      EXPECT_EQ(report.data.rfind("{\"Playlist\":" + pid + ",\"item_pids\":[", 0), 0u) << report.data;
    }
    ++next;
  }
  EXPECT_EQ(next, playlist_pids.size() * 2);
  EXPECT_TRUE(LogHas("QueryMSongPlaylist: 0 playlists: " + std::to_string(playlists)));
}

INSTANTIATE_TEST_SUITE_P(Ios, RealLibraryOnPhone, ::testing::Values("ios-13.4.1", "ios-14.1"));

class GeneratedLibraryOnPhone : public MediaPhone {
 protected:
  // Writes the library into a local file and the tree; every track with a location gets its file.
  void PlaceCurrentLibrary(const std::vector<TrackRow>& tracks, const std::vector<media_test::PlaylistRow>& playlists,
                           bool with_container_item = true) {
    std::string path = TempFolder("generated") + "/MediaLibrary.sqlitedb";
    std::string error;
    ASSERT_TRUE(media_test::WriteCurrentLibrary(path, tracks, playlists, with_container_item, &error)) << error;
    AddLocalFile(kLibraryDevicePath, path);
    for (const TrackRow& track : tracks) {
      if (!track.location.empty()) profile_.AddFile("iTunes_Control/Music/F00/" + track.location, "audio");
    }
  }
  // The file requests by which a listing checks its tracks.
  static devicesim::RequestFilter FileChecks() {
    devicesim::RequestFilter checks;
    checks.channel = "afc";
    checks.name = "GET_FILE_INFO";
    return checks;
  }
  // Starts listing 4,000 tracks on a phone that answers each file request 5 ms late, and returns once 200 of the
  // files have been checked: the checks then go on for seconds.
  void StartSlowListing(uint64_t task) {
    std::vector<TrackRow> tracks;
    for (int i = 0; i < 4000; ++i) {
      tracks.push_back({i + 1, "t" + std::to_string(i), 1, 1000, "T" + std::to_string(i) + ".mp3", 1});
    }
    PlaceCurrentLibrary(tracks, {});
    profile_.SetServiceFault("com.apple.afc", {.kind = devicesim::FaultKind::kDelayEachRequest, .delay_us = 5000});
    StartPhone();
    ASSERT_TRUE(corvane_.host().SendCommand(task, kLibrary, std::string("{\"uuid\":\"") + kMediaUdid + "\",\"info\":{}}"));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (corvane_.simulator().Log().Count(FileChecks()) < 200 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
};

TEST_F(GeneratedLibraryOnPhone, TwoHundredFiftySongsGoInBatchesOfOneHundredAndKindsGoToTheirLists) {
  std::vector<TrackRow> tracks;
  for (int i = 0; i < 250; ++i) {
    tracks.push_back({1000 + i, "song " + std::to_string(1000 + i), 1, 200000, "S" + std::to_string(i) + ".mp3", 5});
  }
  tracks.push_back({1, "film", 2, 7200000, "film.m4v", 9});
  tracks.push_back({2, "clip", 33, 240000, "clip.m4v", 9});
  tracks.push_back({3, "episode", 64, 1800000, "ep.m4v", 9});
  tracks.push_back({4, "no extension", 1, 1000, "noext", 9});
  tracks.push_back({5, "silent", 1, 0, "silent.mp3", 9});
  PlaceCurrentLibrary(tracks, {{77, "Mix", {1000, 1001}}, {78, "Empty", {}}}, /*with_container_item=*/false);
  StartPhone();

  Listing listing = Run(51, kLibrary);
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 0);
  EXPECT_EQ(listing.CountOf(kSongs), "{\"Count\":250}");
  EXPECT_EQ(listing.BatchSizes(kSongs), (std::vector<size_t>{100, 100, 50}));
  EXPECT_EQ(listing.Field(kMovies, "title"), std::vector<std::string>{"film"});
  EXPECT_EQ(listing.Field(kMovies, "total_time_ms"), std::vector<std::string>{"02:00:00"});
  EXPECT_EQ(listing.Field(kMusicVideos, "path"), std::vector<std::string>{"iTunes_Control/Music/F00/clip.m4v"});
  EXPECT_EQ(listing.Field(kTvShows, "title"), std::vector<std::string>{"episode"});
  // The tracks come from the container_items blobs: this library has no container_item table.
  std::vector<std::string> tracks_texts;
  for (const hostlink::Report& report : listing.reports) {
    if (report.packet_type == kPlaylistTracks) tracks_texts.push_back(report.stage == 1 ? report.info : report.data);
  }
  EXPECT_EQ(tracks_texts, (std::vector<std::string>{
                              "{\"Playlist\":77,\"Exist\":1,\"Count\":2}", "{\"Playlist\":77,\"item_pids\":[1000,1001]}",
                              "{\"Playlist\":78,\"Exist\":1,\"Count\":0}", "{\"Playlist\":78,\"item_pids\":[]}"}));
  EXPECT_TRUE(LogHas("QueryMediaLibrary: 0 songs: 251 movies: 1 music_video: 1 tvshow: 1"));
}

TEST_F(GeneratedLibraryOnPhone, TheOlderPairIsReadWhenTheCurrentLibraryIsMissing) {
  std::string folder = TempFolder("older");
  std::string error;
  ASSERT_TRUE(media_test::WriteOlderLibrary(folder + "/Library.itdb", folder + "/Locations.itdb",
                                            {{1, "old song", 1, 1000, "a.mp3", 11}, {2, "old film", 2, 1000, "b.m4v", 12},
                                             {3, "gone", 1, 1000, "c.mp3", 13}},
                                            {{20, "Old list", {1, 2}}}, &error))
      << error;
  AddLocalFile("iTunes_Control/iTunes/iTunes Library.itlp/Library.itdb", folder + "/Library.itdb");
  AddLocalFile("iTunes_Control/iTunes/iTunes Library.itlp/Locations.itdb", folder + "/Locations.itdb");
  profile_.AddFile("iTunes_Control/Music/F01/a.mp3", "a").AddFile("iTunes_Control/Music/F01/b.m4v", "b");
  StartPhone();

  Listing listing = Run(52, kLibrary);
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 0);
  EXPECT_EQ(listing.Field(kSongs, "title"), std::vector<std::string>{"old song"});
  EXPECT_EQ(listing.Field(kSongs, "file_size"), std::vector<std::string>{"11"});
  EXPECT_EQ(listing.Field(kMovies, "title"), std::vector<std::string>{"old film"});
  EXPECT_EQ(listing.Field(kPlaylists, "name"), std::vector<std::string>{"Old list"});
  EXPECT_TRUE(LogHas("QueryLibraryITDB: 0 songs: 2 movies: 1 music_video: 0 tvshow: 0"));
}

TEST_F(GeneratedLibraryOnPhone, APhoneWithoutALibraryAnswersEmptyListsAndZero) {
  StartPhone();
  Listing listing = Run(53, kLibrary);
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 0);
  EXPECT_EQ(listing.TypeOrder(), (std::vector<uint32_t>{kSongs, kMovies, kMusicVideos, kTvShows, kPlaylists}));
  for (uint32_t type : {kSongs, kMovies, kMusicVideos, kTvShows, kPlaylists}) {
    EXPECT_EQ(listing.CountOf(type), "{\"Count\":0}") << type;
  }
  EXPECT_EQ(listing.reports.size(), 5u);
}

TEST_F(GeneratedLibraryOnPhone, ALibraryThatIsNotADatabaseEndsWithTwentyAndSendsNothing) {
  profile_.AddFile(kLibraryDevicePath, std::string(20000, 'x'));
  StartPhone();
  Listing listing = Run(54, kLibrary);
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 20);
  EXPECT_TRUE(listing.reports.empty());
  EXPECT_TRUE(LogHas("OPEN STMT QueryMediaLibrary:  SQL: select media_kind,i.item_pid, file_size,"));
}

// The cable is pulled while the files are checked (each request a few milliseconds late, so the checks take
// seconds): the host hears a code, not a shortened library.
TEST_F(GeneratedLibraryOnPhone, ADeviceThatLeavesWhileItsFilesAreCheckedEndsTheListingWithACode) {
  StartSlowListing(55);
  if (HasFatalFailure()) return;
  std::string error;
  ASSERT_TRUE(corvane_.simulator().Detach("phone", &error)) << error;
  auto final = corvane_.host().WaitFor(
      [](const hostlink::Report& report) { return report.task_id == 55 && report.is_final(); }, std::chrono::seconds(90));
  ASSERT_TRUE(final);
  EXPECT_NE(final->code, 0);
  for (const hostlink::Report& report : corvane_.TakeReportsOf(55)) EXPECT_NE(report.packet_type, kSongs);
}

// A stop (600) while the files are checked ends the listing with 6 before its lists are sent, and the checks stop
// soon after instead of running through every track.
TEST_F(GeneratedLibraryOnPhone, AStopWhileTheFilesAreCheckedEndsTheListingWithSix) {
  StartSlowListing(56);
  if (HasFatalFailure()) return;
  ASSERT_TRUE(corvane_.host().SendCommand(57, 600, R"({"info":{"task_id":"56"}})"));
  auto stopped = corvane_.host().WaitFor(hostlink::FinalOf(56, kLibrary), std::chrono::seconds(60));
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->code, 6);
  EXPECT_TRUE(corvane_.TakeReportsOf(56).empty());
  EXPECT_LT(corvane_.simulator().Log().Count(FileChecks()), 4000u);
}

}  // namespace
}  // namespace e2e
