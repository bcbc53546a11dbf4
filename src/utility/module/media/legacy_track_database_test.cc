// The legacy track database reader: plain and compressed databases, the kinds, and damaged files (every prefix,
// lengths that overrun their parent) refused without a crash.
#include "utility/module/media/legacy_track_database.h"

#include <gtest/gtest.h>

#include "support/media/legacy_track_builder.h"

namespace media {
namespace {

using media_test::BuildLegacyTrackDatabase;
using media_test::LegacyTrackRow;

const std::vector<LegacyTrackRow> kRows = {
    {"Tales", ":Books:ABCD.epub", "Ann Author", "Fiction", 4096, 0},
    {"Bell", ":iTunes_Control:Ringtones:QWER.m4r", "", "Tones", 30000, 28000},
    {"Chapter One", ":Books:Audio:ZXCV.m4a", "Reader", "Audiobook", 1000000, 600000},
    {"Song", ":iTunes_Control:Music:F00:SONG.mp3", "Band", "Pop", 5000000, 200000},
    {"Manual", ":Books:MANU.PDF", "Maker", "", 777, 0},
    {"Café", ":iTunes_Control:Ringtones:TONE.WAV", "", "", 10, 1500},
};

TEST(LegacyTrackDatabase, PlainAndCompressedDatabasesGiveTheSameTracks) {
  for (bool compressed : {false, true}) {
    std::string bytes = BuildLegacyTrackDatabase(kRows, compressed);
    std::vector<LegacyTrack> tracks;
    std::string error;
    ASSERT_TRUE(ParseLegacyTrackDatabase(bytes, &tracks, &error)) << error;
    ASSERT_EQ(tracks.size(), kRows.size());
    for (size_t i = 0; i < kRows.size(); ++i) {
      EXPECT_EQ(tracks[i].title, kRows[i].title);
      EXPECT_EQ(tracks[i].location, kRows[i].location);
      EXPECT_EQ(tracks[i].artist, kRows[i].artist);
      EXPECT_EQ(tracks[i].genre, kRows[i].genre);
      EXPECT_EQ(tracks[i].size, kRows[i].size);
      EXPECT_EQ(tracks[i].length_ms, kRows[i].length_ms);
    }
    using Kind = LegacyTrack::Kind;
    EXPECT_EQ(tracks[0].kind, Kind::kBook);
    EXPECT_EQ(tracks[1].kind, Kind::kRingtone);
    EXPECT_EQ(tracks[2].kind, Kind::kBook);
    EXPECT_EQ(tracks[3].kind, Kind::kOther);
    EXPECT_EQ(tracks[4].kind, Kind::kBook);
    EXPECT_EQ(tracks[5].kind, Kind::kRingtone);
  }
  EXPECT_EQ(DevicePathOfLocation(":Books:ABCD.epub"), "/Books/ABCD.epub");
}

TEST(LegacyTrackDatabase, EveryPrefixOfADatabaseIsRefusedOrReadWithoutACrash) {
  for (bool compressed : {false, true}) {
    std::string bytes = BuildLegacyTrackDatabase(kRows, compressed);
    for (size_t length = 0; length < bytes.size(); ++length) {
      std::vector<LegacyTrack> tracks;
      std::string error;
      bool ok = ParseLegacyTrackDatabase(std::string_view(bytes).substr(0, length), &tracks, &error);
      // A cut never yields a partial list: either the whole file's tracks or none.
      if (ok) {
        EXPECT_TRUE(tracks.empty() || tracks.size() == kRows.size()) << length;
      } else {
        EXPECT_TRUE(tracks.empty()) << length;
      }
    }
  }
}

TEST(LegacyTrackDatabase, LengthsThatOverrunTheirParentAreRefused) {
  const std::string good = BuildLegacyTrackDatabase({kRows[0]}, false);
  // Offsets in the plain layout: header 0x68, data set 96, track list 92, then the track.
  const size_t set = 0x68, list = set + 96, track = list + 92, first_record = track + 0xF4;
  struct Damage {
    const char* what;
    size_t offset;
    uint32_t value;
  } damages[] = {
      {"database header longer than the file", 4, 0x7FFFFFF0},
      {"data set longer than the database", set + 8, 0x7FFFFFF0},
      {"data set shorter than its header", set + 8, 8},
      {"track list counting more tracks than there are", list + 8, 2},
      {"track longer than its data set", track + 8, 0x10000},
      {"track header shorter than its fields", track + 4, 16},
      {"data record longer than its track", first_record + 8, 0x10000},
      {"string longer than its data record", first_record + 28, 0x1000},
      {"string data record shorter than its sub-header", first_record + 8, 24},
  };
  for (const Damage& damage : damages) {
    std::string bytes = good;
    media_test::PutLe32(&bytes, damage.offset, damage.value);
    std::vector<LegacyTrack> tracks;
    std::string error;
    EXPECT_FALSE(ParseLegacyTrackDatabase(bytes, &tracks, &error)) << damage.what;
    EXPECT_TRUE(tracks.empty()) << damage.what;
  }
  std::vector<LegacyTrack> tracks;
  std::string error;
  EXPECT_FALSE(ParseLegacyTrackDatabase("SQLite format 3", &tracks, &error));
  std::string bad_body = BuildLegacyTrackDatabase(kRows, true);
  bad_body[0xF4 + 10] ^= 0x55;  // inside the zlib stream
  EXPECT_FALSE(ParseLegacyTrackDatabase(bad_body, &tracks, &error));
}

}  // namespace
}  // namespace media
