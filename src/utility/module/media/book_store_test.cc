// Book names and paths: the host's and the device's texts that must not lead outside the book folders, fresh
// names drawn again while taken, and book lists that are or are not lists.
#include "utility/module/media/book_store.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace media {
namespace {

TEST(BookStore, FormatsAndNamesComeFromTheLastComponent) {
  EXPECT_EQ(FormatOfBook("a.PDF"), BookFormat::kPdf);
  EXPECT_EQ(FormatOfBook("Tales.epub"), BookFormat::kEpub);
  EXPECT_EQ(FormatOfBook("notes.txt"), BookFormat::kNone);
  EXPECT_EQ(FormatOfBook("pdf"), BookFormat::kNone);
  EXPECT_EQ(LastPathComponent("C:\\Users\\me\\Guide.pdf"), "Guide.pdf");
  EXPECT_EQ(LastPathComponent("/home/me/Tales.epub/"), "Tales.epub");
  EXPECT_EQ(LastPathComponent("Guide.pdf"), "Guide.pdf");
}

TEST(BookStore, ANewNameIsDrawnAgainWhileTheDeviceHasIt) {
  std::set<std::string> asked;
  int taken = 3;
  std::string path = NewBookName("Guide.pdf", [&](const std::string& candidate) {
    asked.insert(candidate);
    return taken-- > 0;
  });
  EXPECT_TRUE(std::regex_match(path, std::regex("/Books/[A-Z]{4}Guide\\.pdf"))) << path;
  EXPECT_GE(asked.size(), 2u);  // four draws; at least two differ
  EXPECT_EQ(NewBookName("Guide.pdf", [](const std::string&) { return true; }), "");  // a full folder ends
}

TEST(BookStore, OnlyPathsInsideTheBookFoldersNameABook) {
  EXPECT_TRUE(IsBookPathInsideBooks("/Books/ABCDGuide.pdf"));
  EXPECT_TRUE(IsBookPathInsideBooks("/Books/Purchases/Bought.epub"));
  for (const char* outside : {"/Books/", "/Books/../DCIM/x.pdf", "/Books/Purchases/../../x.pdf", "/DCIM/x.pdf",
                              "Books/x.pdf", "/Books//x.pdf", "/Books/x.epub/", "/Books/./x.pdf"}) {
    EXPECT_FALSE(IsBookPathInsideBooks(outside)) << outside;
  }
}

TEST(BookStore, BookListsAreReadChangedAndRefusedWhenTheyAreNotLists) {
  std::optional<PlistValue> fresh = BookListFrom("");
  ASSERT_TRUE(fresh);
  AddBookEntry(&*fresh, "Guide", "ABCDGuide.pdf", 0x00AB);
  ASSERT_EQ(fresh->FindArray("Books")->array().size(), 1u);
  const PlistValue& entry = fresh->FindArray("Books")->array()[0];
  EXPECT_EQ(entry.FindString("Persistent ID"), "00000000000000AB");
  EXPECT_EQ(entry.FindString("Path"), "ABCDGuide.pdf");
  EXPECT_FALSE(RemoveBookEntry(&*fresh, "other.pdf"));
  EXPECT_TRUE(RemoveBookEntry(&*fresh, "ABCDGuide.pdf"));
  EXPECT_TRUE(fresh->FindArray("Books")->array().empty());

  EXPECT_FALSE(BookListFrom("garbage"));
  EXPECT_FALSE(BookListFrom("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Books</key><string>x"
                            "</string></dict></plist>"));
  std::optional<PlistValue> without = BookListFrom("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>");
  ASSERT_TRUE(without);
  EXPECT_NE(without->FindArray("Books"), nullptr);
}

}  // namespace
}  // namespace media
