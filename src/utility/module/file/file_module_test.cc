// The file module's local parts: export names, the book archive, the upload journal and its hash.
#include <gtest/gtest.h>
#include <unzip.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "utility/module/file/file_internal.h"

namespace file {
namespace {

namespace fs = std::filesystem;

TEST(ExportNames, ControlBytesAndWindowsReservedCharactersBecomeUnderscores) {
  std::string every_control;
  for (int byte = 1; byte < 32; ++byte) every_control += static_cast<char>(byte);
  EXPECT_EQ(LocalFileName(every_control + "\x7F"), std::string(32, '_'));
  EXPECT_EQ(LocalFileName("a\\b/c:d*e?f\"g<h|i"), "a_b_c_d_e_f_g_h_i");
  EXPECT_EQ(LocalFileName(std::string("nul\0byte", 8)), "nul_byte");
}

TEST(ExportNames, GreaterThanAndNonAsciiCharactersStay) {
  EXPECT_EQ(LocalFileName("a>b"), "a>b");
  EXPECT_EQ(LocalFileName("海港故事.txt"), "海港故事.txt");
  EXPECT_EQ(LocalFileName("Café ½ — ok"), "Café ½ — ok");
}

TEST(ExportNames, TheItemNameIsTheLastPathComponent) {
  EXPECT_EQ(ItemName("/Books/Tales.EPUB"), "Tales.EPUB");
  EXPECT_EQ(ItemName("/Books/Tales.EPUB/"), "Tales.EPUB");
  EXPECT_EQ(ItemName("plain"), "plain");
  EXPECT_EQ(ItemName("/"), "");
}

TEST(ExportNames, OnlyAnUpperCaseEpubSuffixMakesABookFolder) {
  EXPECT_TRUE(IsBookFolder("Tales.EPUB"));
  EXPECT_TRUE(IsBookFolder(".EPUB"));
  EXPECT_FALSE(IsBookFolder("Tales.epub"));
  EXPECT_FALSE(IsBookFolder("EPUB"));
  EXPECT_FALSE(IsBookFolder("Tales.EPUB.old"));
}

class BookArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-file-test-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const std::string& relative, const std::string& content) {
    fs::path path = fs::path(dir_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  std::string dir_;
};

// Entry name to content, in archive order.
std::vector<std::pair<std::string, std::string>> ReadZip(const std::string& path, std::map<std::string, int>* methods) {
  std::vector<std::pair<std::string, std::string>> entries;
  unzFile zip = unzOpen64(path.c_str());
  if (zip == nullptr) return entries;
  for (int status = unzGoToFirstFile(zip); status == UNZ_OK; status = unzGoToNextFile(zip)) {
    char name[512];
    unz_file_info64 info;
    unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0);
    (*methods)[name] = static_cast<int>(info.compression_method);
    std::string content(info.uncompressed_size, '\0');
    unzOpenCurrentFile(zip);
    int got = unzReadCurrentFile(zip, content.data(), static_cast<unsigned>(content.size()));
    unzCloseCurrentFile(zip);
    content.resize(got < 0 ? 0 : static_cast<size_t>(got));
    entries.emplace_back(name, content);
  }
  unzClose(zip);
  return entries;
}

TEST_F(BookArchive, ABookFolderBecomesOneArchiveWithTheMimetypeFirstAndStored) {
  std::string big(300000, 'q');
  Write("book/OEBPS/chapter1.xhtml", "<html>one</html>");
  Write("book/META-INF/container.xml", "<container/>");
  Write("book/mimetype", "application/epub+zip");
  Write("book/OEBPS/images/cover.bin", big);
  fs::create_directories(fs::path(dir_) / "book/empty");
  ASSERT_TRUE(ZipFolder(dir_ + "/book", dir_ + "/book.zip"));

  std::map<std::string, int> methods;
  auto entries = ReadZip(dir_ + "/book.zip", &methods);
  std::vector<std::pair<std::string, std::string>> expected = {
      {"mimetype", "application/epub+zip"},
      {"META-INF/container.xml", "<container/>"},
      {"OEBPS/chapter1.xhtml", "<html>one</html>"},
      {"OEBPS/images/cover.bin", big},
  };
  EXPECT_EQ(entries, expected);
  EXPECT_EQ(methods["mimetype"], 0);
  EXPECT_EQ(methods["OEBPS/images/cover.bin"], Z_DEFLATED);
}

TEST_F(BookArchive, AnArchiveThatCannotBeWrittenLeavesNothing) {
  Write("book/a.txt", "a");
  EXPECT_FALSE(ZipFolder(dir_ + "/book", dir_ + "/missing-folder/book.zip"));
  EXPECT_FALSE(fs::exists(dir_ + "/missing-folder"));
  EXPECT_FALSE(ZipFolder(dir_ + "/no-such-book", dir_ + "/none.zip"));
  EXPECT_FALSE(fs::exists(dir_ + "/none.zip"));
}

TEST(UploadJournal, ANewJournalIsWrittenByteForByte) {
  Journal journal = NewJournal("Tales \"2\".epub", "0cc175b9c0f1b6a831c399e269772661", 2 * kBlockSize + 5);
  journal.blocks[1].status = 1;
  EXPECT_EQ(JournalText(journal),
            R"({"version":"1","path":"Tales \"2\".epub","md5":"0cc175b9c0f1b6a831c399e269772661","size":8388613,)"
            R"("status":0,"fbs":{"0":{"status":0,"offset":0,"offset_length":4194304},)"
            R"("4194304":{"status":1,"offset":4194304,"offset_length":4194304},)"
            R"("8388608":{"status":0,"offset":8388608,"offset_length":5}}})");
}

TEST(UploadJournal, BlocksAreCutAt4MiBWithAShortLastOne) {
  EXPECT_TRUE(NewJournal("a", "", 0).blocks.empty());
  ASSERT_EQ(NewJournal("a", "", 1).blocks.size(), 1u);
  EXPECT_EQ(NewJournal("a", "", kBlockSize).blocks.size(), 1u);
  std::vector<JournalBlock> blocks = NewJournal("a", "", kBlockSize + 1).blocks;
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[1].offset, kBlockSize);
  EXPECT_EQ(blocks[1].length, 1);
  // Beyond 32 bits.
  blocks = NewJournal("a", "", (int64_t{5} << 30) + 7).blocks;
  EXPECT_EQ(blocks.size(), 1281u);
  EXPECT_EQ(blocks.back().offset, int64_t{5} << 30);
}

TEST(UploadJournal, AJournalReadsBackWithItsWrittenBlocks) {
  Journal written = NewJournal("f.bin", "abc", 3 * kBlockSize);
  written.blocks[0].status = 1;
  written.blocks[2].status = 1;
  Journal read;
  ASSERT_TRUE(ParseJournal(JournalText(written), &read));
  EXPECT_EQ(read.path, "f.bin");
  EXPECT_EQ(read.md5, "abc");
  EXPECT_EQ(read.size, 3 * kBlockSize);
  ASSERT_EQ(read.blocks.size(), 3u);
  EXPECT_EQ(read.blocks[0].status, 1);
  EXPECT_EQ(read.blocks[1].status, 0);
  ASSERT_NE(FirstPendingBlock(read), nullptr);
  EXPECT_EQ(FirstPendingBlock(read)->offset, kBlockSize);
  read.blocks[1].status = 1;
  EXPECT_EQ(FirstPendingBlock(read), nullptr);
}

TEST(UploadJournal, AnythingButOurOwnJournalOfAConsistentFileIsRefused) {
  std::string good = JournalText(NewJournal("f", "m", kBlockSize + 10));
  auto with = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  Journal read;
  EXPECT_TRUE(ParseJournal(good, &read));
  for (const std::string& bad : {
           std::string(""), std::string("not json"), std::string("[1,2]"), good.substr(0, good.size() - 1),
           with(R"("version":"1")", R"("version":"2")"),
           with(R"("version":"1")", R"("version":1)"),
           with(R"("size":4194314)", R"("size":4194315000)"),        // blocks no longer match the size
           with(R"("size":4194314)", R"("size":-1)"),
           with(R"("offset_length":10)", R"("offset_length":11)"),   // a block longer than the file
           with(R"("4194304":{"status":0,"offset":4194304)", R"("4194304":{"status":0,"offset":4194303)"),
           with(R"("4194304":{)", R"("4194303":{)"),
           with(R"("path":"f")", R"("path":7)"),
           with(R"("status":0,"offset":0,)", R"("status":"done","offset":0,)"),
       }) {
    EXPECT_FALSE(ParseJournal(bad, &read)) << bad;
  }
}

TEST(UploadJournal, AForgedHugeSizeIsRefusedWithoutCuttingItsBlocks) {
  std::string forged = R"({"version":"1","path":"f","md5":"","size":9223372036854775807,"status":0,"fbs":{}})";
  Journal read;
  EXPECT_FALSE(ParseJournal(forged, &read));
}

TEST(Md5Stream, PiecesGiveTheDigestOfTheWhole) {
  Md5Stream md5;
  md5.Update("The quick brown fox ");
  md5.Update("jumps over the lazy dog");
  EXPECT_EQ(md5.Finish(), "9e107d9d372bb6826bd81d3542a419d6");
  Md5Stream empty;
  EXPECT_EQ(empty.Finish(), "d41d8cd98f00b204e9800998ecf8427e");
}

// The upload's hash behind its writes: the pieces in the order given, each owner let go once its piece is hashed,
// never more than kMaxQueued pieces held at once.
TEST(TrailingMd5, ManyPiecesGiveTheDigestOfTheWholeAndTheirOwnersAreLetGo) {
  std::string whole;
  std::vector<std::weak_ptr<const std::string>> owners;
  TrailingMd5 md5;
  for (int i = 0; i < 40; ++i) {
    auto piece = std::make_shared<const std::string>(std::string(64 * 1024 + i, static_cast<char>('a' + i % 26)));
    whole += *piece;
    owners.push_back(piece);
    md5.Update(piece, *piece);
    size_t held = 0;
    for (const auto& owner : owners) held += owner.expired() ? 0 : 1;
    EXPECT_LE(held, TrailingMd5::kMaxQueued + 1) << "hashing one, " << TrailingMd5::kMaxQueued << " waiting";
  }
  EXPECT_EQ(md5.Finish(), Md5Hex(whole));
  for (const auto& owner : owners) EXPECT_TRUE(owner.expired());
  TrailingMd5 empty;
  EXPECT_EQ(empty.Finish(), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(TrailingMd5, GoingAwayWithPiecesStillQueuedNeitherHangsNorKeepsThem) {
  std::weak_ptr<const std::string> last;
  {
    TrailingMd5 md5;
    for (int i = 0; i < 3; ++i) {
      auto piece = std::make_shared<const std::string>(std::string(4 << 20, 'x'));
      last = piece;
      md5.Update(piece, *piece);
    }
  }
  EXPECT_TRUE(last.expired());
}

}  // namespace
}  // namespace file
