// Commands 1010 (one playlist's tracks, from a new snapshot or the last one) and 1011 (an item list).
#include <filesystem>

#include "media/media_scenario.h"
#include "support/media/media_test_databases.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kPlaylistTracks = 1010, kItems = 1011, kLibrary = 1000;

std::vector<std::string> Texts(const Listing& listing) {
  std::vector<std::string> texts;
  for (const hostlink::Report& report : listing.reports) {
    EXPECT_EQ(report.packet_type, kPlaylistTracks);
    texts.push_back(report.stage == 1 ? report.info : report.data);
  }
  return texts;
}

class PlaylistTracks : public MediaPhone {
 protected:
  std::string WriteLibrary(const std::string& name, const std::vector<media_test::PlaylistRow>& playlists) {
    std::string path = TempFolder(name) + "/MediaLibrary.sqlitedb";
    std::string error;
    EXPECT_TRUE(media_test::WriteCurrentLibrary(path, {{1, "one", 1, 1000, "one.mp3", 1}}, playlists, true, &error))
        << error;
    return path;
  }
  std::string DeviceFile(const std::string& tree_path) const {
    return corvane_.ProfileFolder("phone") + "/afc/" + tree_path;
  }
};

TEST_F(PlaylistTracks, RefreshReadsTheDevicesLibraryAndWithoutItTheLastCopyIsRead) {
  AddLocalFile(kLibraryDevicePath, WriteLibrary("first", {{30, "Mix", {1, 2, 3}}}));
  StartPhone();

  // No copy has been taken yet: there is nothing to open.
  Listing before = Run(60, kPlaylistTracks, R"({"container_pid":30,"refresh":0})");
  ASSERT_TRUE(before.final);
  EXPECT_EQ(before.final->code, 19);

  Listing fresh = Run(61, kPlaylistTracks, R"({"container_pid":30,"refresh":1})");
  ASSERT_TRUE(fresh.final);
  EXPECT_EQ(fresh.final->code, 0);
  EXPECT_EQ(Texts(fresh), (std::vector<std::string>{"{\"Playlist\":30,\"Count\":3}",
                                                    "{\"Playlist\":30,\"item_pids\":[1,2,3]}"}));

  // The device's library changes; without refresh the host still gets the copy's tracks.
  fs::copy_file(WriteLibrary("second", {{30, "Mix", {9}}}), DeviceFile(kLibraryDevicePath),
                fs::copy_options::overwrite_existing);
  Listing cached = Run(62, kPlaylistTracks, R"({"container_pid":30,"refresh":0})");
  ASSERT_TRUE(cached.final);
  EXPECT_EQ(Texts(cached), Texts(fresh));
  Listing refreshed = Run(63, kPlaylistTracks, R"({"container_pid":30,"refresh":1})");
  ASSERT_TRUE(refreshed.final);
  EXPECT_EQ(Texts(refreshed), (std::vector<std::string>{"{\"Playlist\":30,\"Count\":1}",
                                                        "{\"Playlist\":30,\"item_pids\":[9]}"}));

  Listing unknown = Run(64, kPlaylistTracks, R"({"container_pid":31,"refresh":0})");
  ASSERT_TRUE(unknown.final);
  EXPECT_EQ(unknown.final->code, 0);
  EXPECT_EQ(Texts(unknown), std::vector<std::string>{"{\"Playlist\":31,\"Count\":-1}"});
}

// The device checkpoints its log into the main file between two snapshots: the log the first snapshot copied must
// not be replayed onto the second snapshot's main file.
TEST_F(PlaylistTracks, ALogFromAnEarlierSnapshotIsNotReplayedOntoANewerLibrary) {
  std::string real = media_test::CopyRealLibrary("ios-14.1", TempFolder("real"));
  for (const char* suffix : {"", "-wal", "-shm"}) AddLocalFile(std::string(kLibraryDevicePath) + suffix, real + suffix);
  StartPhone();
  std::string pid = media_test::Column(real, "select container_pid from container_item group by 1 limit 1")[0];
  Listing first = Run(71, kPlaylistTracks, "{\"container_pid\":" + pid + ",\"refresh\":1}");
  ASSERT_TRUE(first.final);
  EXPECT_EQ(first.final->code, 0);

  std::string checkpointed = WriteLibrary("checkpointed", {{std::stoll(pid), "Kept", {1, 2}}});
  fs::copy_file(checkpointed, DeviceFile(kLibraryDevicePath), fs::copy_options::overwrite_existing);
  fs::remove(DeviceFile(std::string(kLibraryDevicePath) + "-wal"));
  fs::remove(DeviceFile(std::string(kLibraryDevicePath) + "-shm"));
  Listing second = Run(72, kPlaylistTracks, "{\"container_pid\":" + pid + ",\"refresh\":1}");
  ASSERT_TRUE(second.final);
  EXPECT_EQ(second.final->code, 0);
  EXPECT_EQ(Texts(second), (std::vector<std::string>{"{\"Playlist\":" + pid + ",\"Count\":2}",
                                                     "{\"Playlist\":" + pid + ",\"item_pids\":[1,2]}"}));
}

TEST_F(PlaylistTracks, RefreshWithoutEitherDatabaseEndsWithEighteen) {
  StartPhone();
  Listing listing = Run(65, kPlaylistTracks, R"({"container_pid":30,"refresh":1})");
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 18);
  EXPECT_TRUE(listing.reports.empty());
  EXPECT_TRUE(LogHas("ReloadMediaLibraryDb fail"));
}

TEST_F(PlaylistTracks, RefreshFallsBackToTheOlderPair) {
  std::string folder = TempFolder("older");
  std::string error;
  ASSERT_TRUE(media_test::WriteOlderLibrary(folder + "/Library.itdb", folder + "/Locations.itdb",
                                            {{1, "old", 1, 1000, "a.mp3", 1}}, {{40, "Old", {1, 1}}}, &error))
      << error;
  AddLocalFile("iTunes_Control/iTunes/iTunes Library.itlp/Library.itdb", folder + "/Library.itdb");
  AddLocalFile("iTunes_Control/iTunes/iTunes Library.itlp/Locations.itdb", folder + "/Locations.itdb");
  StartPhone();
  Listing listing = Run(66, kPlaylistTracks, R"({"container_pid":40,"refresh":1})");
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 0);
  EXPECT_EQ(Texts(listing), (std::vector<std::string>{"{\"Playlist\":40,\"Count\":2}",
                                                      "{\"Playlist\":40,\"item_pids\":[1,1]}"}));
}

TEST_F(PlaylistTracks, AnItemListIsAcceptedOnlyAsAnArrayAndAMarkerOtherThanOneDoesNothing) {
  StartPhone();
  Listing good = Run(67, kItems, R"({"item_pids":[1,2,3]})");
  ASSERT_TRUE(good.final);
  EXPECT_EQ(good.final->code, 0);
  Listing bad = Run(68, kItems, R"({"item_pids":7})");
  ASSERT_TRUE(bad.final);
  EXPECT_EQ(bad.final->code, 8);

  std::string json = std::string("{\"uuid\":\"") + kMediaUdid + "\"}";
  ASSERT_TRUE(corvane_.host().SendCommand(69, kLibrary, json, {}, "0"));
  auto skipped = corvane_.host().WaitFor(
      [](const hostlink::Report& report) { return report.task_id == 69 && report.is_final(); },
      std::chrono::seconds(30));
  ASSERT_TRUE(skipped);
  EXPECT_EQ(skipped->code, 0);
  EXPECT_TRUE(corvane_.TakeReportsOf(69).empty());
  auto unknown_device = corvane_.Run(70, kLibrary, R"({"uuid":"nobody","info":{}})", {}, std::chrono::seconds(30));
  ASSERT_TRUE(unknown_device);
  EXPECT_EQ(unknown_device->code, 7);
}

}  // namespace
}  // namespace e2e
