// Command 1001: books and ringtones from the device's lists and a compressed legacy track database.
#include "media/media_scenario.h"
#include "support/media/legacy_track_builder.h"

namespace e2e {
namespace {

constexpr uint32_t kBooksAndRingtones = 1001, kRingtones = 1003, kBooks = 1008;

std::string Plist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>";
}

std::string BookEntry(const std::string& path, const std::string& name) {
  return "<dict><key>Name</key><string>" + name + "</string><key>Artist</key><string>Writer</string><key>Genre"
         "</key><string>Fiction</string><key>Path</key><string>" + path + "</string></dict>";
}

TEST_F(MediaPhone, BooksAndRingtonesComeFromTheListsAndTheLegacyDatabase) {
  profile_.AddFile("Books/Books.plist", Plist("<dict><key>Books</key><array>" + BookEntry("TALE.epub", "Tales") +
                                              BookEntry("GONE.pdf", "Gone") + BookEntry("../../Recordings/x", "Out") +
                                              "</array></dict>"));
  profile_.AddFile("Books/Purchases/Purchases.plist",
                   Plist("<dict><key>Books</key><array>" + BookEntry("BUY1.pdf", "Bought") + "</array></dict>"));
  profile_.AddFile("iTunes_Control/iTunes/Ringtones.plist",
                   Plist("<dict><key>Ringtones</key><dict><key>BELL.m4r</key><dict><key>Name</key><string>Bell"
                         "</string><key>Total Time</key><integer>28000</integer></dict></dict></dict>"));
  profile_.AddFile("iTunes_Control/iTunes/iTunesCDB",
                   media_test::BuildLegacyTrackDatabase(
                       {{"Tales (legacy)", ":Books:TALE.epub", "", "", 4242, 0},
                        {"Handbook", ":Books:HAND.pdf", "Maker", "Manuals", 777, 0},
                        {"Chime", ":iTunes_Control:Ringtones:CHIM.m4r", "", "", 50, 1200},
                        {"Lost", ":Books:LOST.pdf", "", "", 1, 0},
                        {"Song", ":iTunes_Control:Music:F00:SONG.mp3", "", "", 1, 1000}},
                       /*compressed=*/true));
  profile_.AddFolder("Books/TALE.epub").AddFile("Books/TALE.epub/mimetype", "application/epub+zip");
  profile_.AddFile("Books/Purchases/BUY1.pdf", "%PDF-1.4 bought").AddFile("Books/HAND.pdf", "%PDF");
  profile_.AddFile("iTunes_Control/Ringtones/BELL.m4r", "bell").AddFile("iTunes_Control/Ringtones/CHIM.m4r", "c");
  profile_.AddFile("iTunes_Control/Music/F00/SONG.mp3", "song");
  StartPhone();

  Listing listing = Run(90, kBooksAndRingtones);
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 0);
  EXPECT_EQ(listing.TypeOrder(), (std::vector<uint32_t>{kBooks, kRingtones}));
  EXPECT_EQ(listing.CountOf(kBooks), "{\"Count\":3}");
  EXPECT_EQ(listing.Field(kBooks, "path"),
            (std::vector<std::string>{"/Books/TALE.epub", "/Books/Purchases/BUY1.pdf", "/Books/HAND.pdf"}));
  EXPECT_EQ(listing.Field(kBooks, "title"), (std::vector<std::string>{"Tales", "Bought", "Handbook"}));
  EXPECT_EQ(listing.Field(kBooks, "size"), (std::vector<std::string>{"4242", "15", "777"}));
  EXPECT_EQ(listing.Field(kBooks, "purchase"), (std::vector<std::string>{"0", "1", "0"}));
  EXPECT_EQ(listing.Field(kBooks, "gene"), (std::vector<std::string>{"Fiction", "Fiction", "Manuals"}));
  EXPECT_EQ(listing.Field(kRingtones, "path"), (std::vector<std::string>{"/iTunes_Control/Ringtones/BELL.m4r",
                                                                         "/iTunes_Control/Ringtones/CHIM.m4r"}));
  EXPECT_EQ(listing.Field(kRingtones, "duration"), (std::vector<std::string>{"28000", "1200"}));
}

TEST_F(MediaPhone, ADamagedLegacyDatabaseOnlyTakesItsOwnEntriesAway) {
  std::string damaged = media_test::BuildLegacyTrackDatabase({{"Handbook", ":Books:HAND.pdf", "", "", 777, 0}}, false);
  media_test::PutLe32(&damaged, 0x68 + 8, 0x7FFFFFF0);  // the data set claims more than the file holds
  profile_.AddFile("iTunes_Control/iTunes/iTunesCDB", damaged);
  profile_.AddFile("Books/Books.plist", Plist("<dict><key>Books</key><array>" + BookEntry("HAND.pdf", "Listed") +
                                              "</array></dict>"));
  profile_.AddFile("Books/HAND.pdf", "%PDF");
  StartPhone();
  Listing listing = Run(91, kBooksAndRingtones);
  ASSERT_TRUE(listing.final);
  EXPECT_EQ(listing.final->code, 0);
  EXPECT_EQ(listing.Field(kBooks, "title"), std::vector<std::string>{"Listed"});
  EXPECT_EQ(listing.CountOf(kRingtones), "{\"Count\":0}");
  EXPECT_TRUE(LogHas("The legacy track database cannot be read"));
}

}  // namespace
}  // namespace e2e
