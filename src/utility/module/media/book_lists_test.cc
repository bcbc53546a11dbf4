// The book and ringtone lists: names from the device that would leave their folder, files the device lacks, and
// the legacy merge rules.
#include "utility/module/media/book_lists.h"

#include <gtest/gtest.h>

#include <map>

namespace media {
namespace {

PlistValue Entry(std::map<std::string, PlistValue> members) {
  PlistValue::Dict dict;
  for (auto& [key, value] : members) dict[key] = value;
  return PlistValue::MakeDict(dict);
}

// A device whose files are the keys, with their sizes.
DeviceFileSize DeviceWith(std::map<std::string, int64_t> files, std::vector<std::string>* asked = nullptr) {
  return [files = std::move(files), asked](const std::string& path, int64_t* size) {
    if (asked != nullptr) asked->push_back(path);
    auto it = files.find(path);
    if (it == files.end()) return false;
    *size = it->second;
    return true;
  };
}

TEST(BookLists, NamesThatWouldLeaveTheListsFolderAreNeverAskedFor) {
  for (const char* bad : {"", "/etc/passwd", "../x.pdf", "a/../../x.pdf", "..", ".", "a\\b.pdf", "a/./b.pdf"}) {
    EXPECT_FALSE(IsPlainRelativePath(bad)) << bad;
  }
  EXPECT_TRUE(IsPlainRelativePath("ABCD Tales.epub"));
  EXPECT_TRUE(IsPlainRelativePath("sub/ABCD.pdf"));

  PlistValue list = Entry({{"Books", PlistValue::MakeArray({
                                         Entry({{"Path", PlistValue::String("../../escape.pdf")}}),
                                         Entry({{"Path", PlistValue::String("KEEP.pdf")},
                                                {"Name", PlistValue::String("Kept")},
                                                {"Artist", PlistValue::String("A")},
                                                {"Genre", PlistValue::String("G")}}),
                                         Entry({{"Path", PlistValue::String("GONE.pdf")}}),
                                         Entry({{"Name", PlistValue::String("no path")}}),
                                         PlistValue::String("not a dictionary"),
                                     })}});
  std::vector<std::string> asked;
  std::vector<Book> books;
  AppendListedBooks(list, kPurchasesFolder, true, DeviceWith({{"/Books/Purchases/KEEP.pdf", 12}}, &asked), &books);
  EXPECT_EQ(asked, (std::vector<std::string>{"/Books/Purchases/KEEP.pdf", "/Books/Purchases/GONE.pdf"}));
  ASSERT_EQ(books.size(), 1u);
  EXPECT_EQ(BookJson(books[0]), "{\"path\":\"/Books/Purchases/KEEP.pdf\",\"title\":\"Kept\",\"size\":12,"
                                "\"artist\":\"A\",\"purchase\":\"1\",\"gene\":\"G\"}");

  PlistValue tones = Entry({{"Ringtones", Entry({{"BELL.m4r", Entry({{"Name", PlistValue::String("Bell")},
                                                                      {"Total Time", PlistValue::Integer(28000)}})},
                                                  {"../x.m4r", Entry({})},
                                                  {"MISSING.m4r", Entry({})}})}});
  std::vector<Ringtone> ringtones;
  AppendListedRingtones(tones, DeviceWith({{"/iTunes_Control/Ringtones/BELL.m4r", 500}}), &ringtones);
  ASSERT_EQ(ringtones.size(), 1u);
  EXPECT_EQ(RingtoneJson(ringtones[0]),
            "{\"path\":\"/iTunes_Control/Ringtones/BELL.m4r\",\"title\":\"Bell\",\"size\":500,\"duration\":28000}");
}

TEST(BookLists, LegacyBooksFillAnEmptyListOrCompleteAnotherByPath) {
  std::vector<Book> legacy = {{"/Books/A.epub", "A legacy", 0, "", "0", ""},
                              {"/Books/B.pdf", "B legacy", 99, "", "0", ""},
                              {"/Books/C.pdf", "C legacy", 5, "", "0", ""}};
  std::vector<Book> empty;
  MergeLegacyBooks(legacy, &empty);
  EXPECT_EQ(empty.size(), 3u);

  std::vector<Book> listed = {{"/Books/A.epub", "A", 10, "", "0", ""}, {"/Books/B.pdf", "B", 20, "", "0", ""},
                              {"/Books/c.pdf", "lower case c", 30, "", "0", ""}};
  MergeLegacyBooks(legacy, &listed);
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[0].size, 10);  // a legacy size of 0 changes nothing
  EXPECT_EQ(listed[0].title, "A");
  EXPECT_EQ(listed[1].size, 99);
  EXPECT_EQ(listed[1].title, "B");
  EXPECT_EQ(listed[3].path, "/Books/C.pdf");  // the path comparison is case-sensitive
}

TEST(BookLists, LegacyTracksAreSplitByKindAndKeptOnlyWhenTheDeviceHasThem) {
  std::vector<LegacyTrack> tracks(4);
  tracks[0] = {LegacyTrack::Kind::kBook, ":Books:A.epub", "A", "Author", "Genre", 10, 0};
  tracks[1] = {LegacyTrack::Kind::kRingtone, ":iTunes_Control:Ringtones:R.m4r", "R", "", "", 20, 1500};
  tracks[2] = {LegacyTrack::Kind::kOther, ":iTunes_Control:Music:F00:S.mp3", "S", "", "", 30, 100};
  tracks[3] = {LegacyTrack::Kind::kBook, ":Books:GONE.pdf", "Gone", "", "", 40, 0};
  std::vector<std::string> asked;
  std::vector<Book> books;
  std::vector<Ringtone> ringtones;
  SplitLegacyTracks(tracks,
                    DeviceWith({{"/Books/A.epub", 1}, {"/iTunes_Control/Ringtones/R.m4r", 2},
                                {"/iTunes_Control/Music/F00/S.mp3", 3}},
                               &asked),
                    &books, &ringtones);
  EXPECT_EQ(asked.size(), 3u);  // music is not asked about
  ASSERT_EQ(books.size(), 1u);
  EXPECT_EQ(books[0].path, "/Books/A.epub");
  EXPECT_EQ(books[0].size, 10);
  EXPECT_EQ(books[0].artist, "Author");
  ASSERT_EQ(ringtones.size(), 1u);
  EXPECT_EQ(ringtones[0].duration_ms, 1500);
}

}  // namespace
}  // namespace media
