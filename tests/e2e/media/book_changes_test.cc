// Commands 1012 and 1013: books added from the computer or moved on the device, removed again, and paths that
// would reach outside the book folders refused.
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "media/media_scenario.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kAddBook = 1012, kRemoveBook = 1013;

std::string Zlib(const std::string& text) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()), text.size(), 6);
  out.resize(size);
  return out;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class BookChanges : public MediaPhone {
 protected:
  std::optional<hostlink::Report> Send(uint64_t task, uint32_t type, const std::string& block, Listing* listing) {
    std::string json = std::string("{\"uuid\":\"") + kMediaUdid + "\"}";
    listing->final = corvane_.Run(task, type, json, Zlib(block), std::chrono::seconds(60));
    listing->reports = corvane_.TakeReportsOf(task);
    return listing->final;
  }
  std::string Tree(const std::string& path) const { return corvane_.ProfileFolder("phone") + "/afc" + path; }
  // The single "/Books/XXXX<name>" the added book got, from its report.
  std::string AddedPath(const Listing& listing) {
    std::vector<std::string> paths = listing.Field(kAddBook, "path");
    return paths.size() == 1 ? paths[0] : std::string();
  }
};

TEST_F(BookChanges, ALocalPdfAndEpubAreUploadedUnderUniqueNamesAndListed) {
  profile_.AddFile("Books/Books.plist",
                   "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Books</key><array><dict><key>Path</key>"
                   "<string>OLD1.pdf</string><key>Name</key><string>Old</string></dict></array></dict></plist>");
  StartPhone();
  std::string pdf = TempFolder("host") + "/Guide.pdf";
  std::ofstream(pdf) << "%PDF-1.7 guide";
  std::string epub = TempFolder("host") + "/Tales.EPUB";
  fs::create_directories(epub + "/OEBPS");
  std::ofstream(epub + "/mimetype") << "application/epub+zip";
  std::ofstream(epub + "/OEBPS/ch1.xhtml") << "<html/>";

  Listing first;
  ASSERT_TRUE(Send(100, kAddBook, "{\"path\":\"" + pdf + "\"}", &first));
  EXPECT_EQ(first.final->code, 0);
  std::string pdf_path = AddedPath(first);
  EXPECT_TRUE(std::regex_match(pdf_path, std::regex("/Books/[A-Z]{4}Guide\\.pdf"))) << pdf_path;
  EXPECT_EQ(Read(Tree(pdf_path)), "%PDF-1.7 guide");
  EXPECT_EQ(first.Field(kAddBook, "title"), std::vector<std::string>{"Guide"});
  EXPECT_EQ(first.Field(kAddBook, "size"), std::vector<std::string>{"14"});

  Listing second;
  ASSERT_TRUE(Send(101, kAddBook, "{\"path\":\"" + epub + "\",\"remote\":false}", &second));
  EXPECT_EQ(second.final->code, 0);
  std::string epub_path = AddedPath(second);
  EXPECT_EQ(Read(Tree(epub_path) + "/OEBPS/ch1.xhtml"), "<html/>");

  std::string list = Read(Tree("/Books/Books.plist"));
  EXPECT_NE(list.find("OLD1.pdf"), std::string::npos);  // the earlier entry stays
  EXPECT_NE(list.find("<string>" + pdf_path.substr(7) + "</string>"), std::string::npos) << list;
  EXPECT_NE(list.find("<string>" + epub_path.substr(7) + "</string>"), std::string::npos) << list;
  EXPECT_TRUE(std::regex_search(list, std::regex("<key>Persistent ID</key>\\s*<string>[0-9A-F]{16}</string>")));
}

TEST_F(BookChanges, ARemoteBookIsMovedAndWhatCannotBeABookIsRefused) {
  profile_.AddFile("Downloads/Remote.pdf", "%PDF remote").AddFile("Downloads/notes.txt", "text");
  StartPhone();
  Listing moved;
  ASSERT_TRUE(Send(102, kAddBook, R"({"path":"/Downloads/Remote.pdf","remote":true})", &moved));
  EXPECT_EQ(moved.final->code, 0);
  std::string path = AddedPath(moved);
  EXPECT_EQ(Read(Tree(path)), "%PDF remote");
  EXPECT_FALSE(fs::exists(Tree("/Downloads/Remote.pdf")));

  Listing text, unreadable, missing;
  ASSERT_TRUE(Send(103, kAddBook, R"({"path":"/Downloads/notes.txt","remote":true})", &text));
  EXPECT_EQ(text.final->code, 37);
  EXPECT_TRUE(fs::exists(Tree("/Downloads/notes.txt")));
  ASSERT_TRUE(Send(104, kAddBook, "not json", &unreadable));
  EXPECT_EQ(unreadable.final->code, 8);
  ASSERT_TRUE(Send(105, kAddBook, "{\"path\":\"" + TempFolder("host") + "/absent.pdf\"}", &missing));
  EXPECT_EQ(missing.final->code, 37);
}

TEST_F(BookChanges, ABookListThatIsNotOneIsLeftAloneAndTheBookTakenAway) {
  profile_.AddFile("Books/Books.plist", "this is not a property list");
  StartPhone();
  std::string pdf = TempFolder("host") + "/Guide.pdf";
  std::ofstream(pdf) << "%PDF";
  Listing listing;
  ASSERT_TRUE(Send(106, kAddBook, "{\"path\":\"" + pdf + "\"}", &listing));
  EXPECT_EQ(listing.final->code, 39);
  EXPECT_EQ(Read(Tree("/Books/Books.plist")), "this is not a property list");
  size_t books = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(Tree("/Books"))) books += entry.path().filename() != "Books.plist";
  EXPECT_EQ(books, 0u);
}

TEST_F(BookChanges, RemovalTakesTheEntryAndTheFileAndNeverLeavesTheBookFolders) {
  profile_.AddFile("Books/Books.plist",
                   "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Books</key><array>"
                   "<dict><key>Path</key><string>AAAAOne.pdf</string></dict>"
                   "<dict><key>Path</key><string>BBBBTwo.pdf</string></dict></array></dict></plist>");
  profile_.AddFile("Books/Purchases/Purchases.plist",
                   "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Books</key><array>"
                   "<dict><key>Path</key><string>Bought.epub</string></dict></array></dict></plist>");
  profile_.AddFile("Books/AAAAOne.pdf", "1").AddFile("Books/BBBBTwo.pdf", "2");
  profile_.AddFile("Books/Purchases/Bought.epub/mimetype", "application/epub+zip");
  profile_.AddFile("DCIM/100APPLE/IMG_0001.JPG", "photo");
  StartPhone();

  Listing escape, outside, one, bought;
  ASSERT_TRUE(Send(110, kRemoveBook, R"({"path":"/Books/../DCIM/100APPLE/IMG_0001.JPG"})", &escape));
  EXPECT_EQ(escape.final->code, 37);
  ASSERT_TRUE(Send(111, kRemoveBook, R"({"path":"/DCIM/100APPLE/IMG_0001.JPG"})", &outside));
  EXPECT_EQ(outside.final->code, 37);
  EXPECT_TRUE(fs::exists(Tree("/DCIM/100APPLE/IMG_0001.JPG")));

  ASSERT_TRUE(Send(112, kRemoveBook, R"({"path":"/Books/AAAAOne.pdf"})", &one));
  EXPECT_EQ(one.final->code, 0);
  EXPECT_FALSE(fs::exists(Tree("/Books/AAAAOne.pdf")));
  std::string list = Read(Tree("/Books/Books.plist"));
  EXPECT_EQ(list.find("AAAAOne.pdf"), std::string::npos);
  EXPECT_NE(list.find("BBBBTwo.pdf"), std::string::npos);

  ASSERT_TRUE(Send(113, kRemoveBook, R"({"path":"/Books/Purchases/Bought.epub"})", &bought));
  EXPECT_EQ(bought.final->code, 0);
  EXPECT_FALSE(fs::exists(Tree("/Books/Purchases/Bought.epub")));
  EXPECT_EQ(Read(Tree("/Books/Purchases/Purchases.plist")).find("Bought.epub"), std::string::npos);
  EXPECT_TRUE(one.reports.empty());
}

}  // namespace
}  // namespace e2e
