// Command 701: device items exported into a local folder.
#include <unzip.h>

#include <fstream>
#include <map>
#include <set>

#include "file/file_support.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> ZipEntries(const std::string& path) {
  std::map<std::string, std::string> entries;
  unzFile zip = unzOpen64(path.c_str());
  if (zip == nullptr) return entries;
  for (int status = unzGoToFirstFile(zip); status == UNZ_OK; status = unzGoToNextFile(zip)) {
    char name[512];
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
    std::string content(info.uncompressed_size, '\0');
    if (unzOpenCurrentFile(zip) != UNZ_OK) break;
    int got = unzReadCurrentFile(zip, content.data(), static_cast<unsigned>(content.size()));
    unzCloseCurrentFile(zip);
    entries[name] = got == static_cast<int>(content.size()) ? content : "<unreadable>";
  }
  unzClose(zip);
  return entries;
}

// Every path below `folder`, relative.
std::set<std::string> Tree(const std::string& folder) {
  std::set<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    paths.insert(fs::relative(entry.path(), folder).generic_string());
  }
  return paths;
}

class Export : public FilePhone {
 protected:
  std::string Target() const { return corvane_.temp_dir() + "/exported"; }
  std::string Command(const std::string& native_dir) const {
    return std::string(R"({"uuid":")") + kFileUdid + "\"" +
           (native_dir.empty() ? "" : ",\"native_dir\":\"" + native_dir + "\"") + "}";
  }
};

TEST_F(Export, BooksBecomeOneArchiveFoldersBecomeTreesAndFilesKeepTheirNamesSafely) {
  std::string picture = Generated(5 * kMiB + 3, 7);
  profile_.AddFile("Books/Harbour Tales.EPUB/mimetype", "application/epub+zip")
      .AddFile("Books/Harbour Tales.EPUB/META-INF/container.xml", "<container/>")
      .AddFile("Books/Harbour Tales.EPUB/OEBPS/chapter1.xhtml", "<html>Chapter one</html>")
      .AddFile("Books/Harbour Tales.EPUB/OEBPS/images/cover.png", picture)
      .AddFile("Notes/a:b", "colon")
      .AddFile("Notes/海港故事 <1>.txt", "故事")
      .AddFile("Recordings/one.m4a", "first")
      .AddFile("Recordings/Inner/two.m4a", "second")
      .AddFile("Books/small.epub/readme", "lower-case suffix: a plain folder");
  StartPhone();

  std::string items = R"({"1":{"path":"/Books/Harbour Tales.EPUB"},"2":{"path":"/Notes/a:b"},)"
                      R"("3":{"path":"/Notes/海港故事 <1>.txt"},"4":{"path":"/Recordings"},"5":{"path":"/Nowhere"},)"
                      R"("6":{"path":"/Books/small.epub"},"count":6})";
  auto answer = corvane_.Run(70, 701, Command(Target()), items);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
  EXPECT_EQ(answer->header_code, 1);

  std::vector<std::string> infos;
  for (const hostlink::Report& report : corvane_.TakeReportsOf(70)) {
    if (report.is_final()) continue;
    EXPECT_EQ(report.stage, 2);
    EXPECT_EQ(report.uuid, kFileUdid);
    infos.push_back(report.info);
  }
  std::string t = Target();
  EXPECT_EQ(infos, (std::vector<std::string>{
                       R"({"native_path":")" + t + R"(/Harbour Tales.EPUB","name":"Harbour Tales.EPUB"})",
                       R"({"native_path":")" + t + R"(/a_b","name":"a:b"})",
                       R"({"native_path":")" + t + R"(/海港故事 _1>.txt","name":"海港故事 <1>.txt"})",
                       R"({"native_path":")" + t + R"(/Recordings.folder","name":"Recordings"})",
                       R"({"native_path":")" + t + R"(/small.epub.folder","name":"small.epub"})",
                   }));

  ASSERT_TRUE(fs::is_regular_file(t + "/Harbour Tales.EPUB"));
  EXPECT_EQ(ZipEntries(t + "/Harbour Tales.EPUB"), (std::map<std::string, std::string>{
                                                       {"mimetype", "application/epub+zip"},
                                                       {"META-INF/container.xml", "<container/>"},
                                                       {"OEBPS/chapter1.xhtml", "<html>Chapter one</html>"},
                                                       {"OEBPS/images/cover.png", picture},
                                                   }));
  EXPECT_EQ(ReadLocal(t + "/a_b"), "colon");
  EXPECT_EQ(ReadLocal(t + "/海港故事 _1>.txt"), "故事");
  EXPECT_EQ(ReadLocal(t + "/Recordings.folder/Inner/two.m4a"), "second");
  EXPECT_EQ(Tree(t), (std::set<std::string>{"Harbour Tales.EPUB", "a_b", "海港故事 _1>.txt", "Recordings.folder",
                                            "Recordings.folder/one.m4a", "Recordings.folder/Inner",
                                            "Recordings.folder/Inner/two.m4a", "small.epub.folder",
                                            "small.epub.folder/readme"}));
  // The book's copy before packing is gone too.
  for (const auto& entry : fs::recursive_directory_iterator(corvane_.ProcessFolder())) {
    ADD_FAILURE() << "left in the process folder: " << entry.path();
  }
}

TEST_F(Export, HostileNamesFromTheDeviceNeverLeadOutsideTheTargetFolder) {
  profile_.AddFile("Hostile/fine.txt", "fine").AddFile("Hostile/sub/also.txt", "also").SetHostileListing("/Hostile");
  StartPhone();
  std::string items = R"({"1":{"path":"/Hostile"},"2":{"path":"/Hostile/.."},"3":{"path":"/Hostile/."}})";
  auto answer = corvane_.Run(71, 701, Command(Target()), items);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
  EXPECT_EQ(Tree(Target()), (std::set<std::string>{"Hostile.folder", "Hostile.folder/fine.txt", "Hostile.folder/sub",
                                                    "Hostile.folder/sub/also.txt"}));
  std::set<std::string> beside;
  for (const auto& entry : fs::directory_iterator(corvane_.temp_dir())) beside.insert(entry.path().filename());
  EXPECT_EQ(beside.count("evil"), 0u);
  EXPECT_EQ(beside.count("name"), 0u);
}

TEST_F(Export, ItemsThatMapToOneNameGetTheirOwnAndAFailedCopyLeavesTheHostsFileAlone) {
  profile_.AddFile("Notes/a:b", "colon").AddFile("Notes/a_b", "underscore").AddGeneratedFile("big.mov", 6 * kMiB, 2);
  StartPhone();
  // The file service the export starts breaks off during the large file's copy.
  std::string error;
  ASSERT_TRUE(corvane_.simulator().SetServiceFault(kFileUdid, "com.apple.afc",
                                                    {devicesim::FaultKind::kDropAfterBytes, 3 * kMiB, 1}, &error));
  fs::create_directories(Target());
  std::ofstream(Target() + "/big.mov") << "the host's own file";
  std::string items = R"({"1":{"path":"/Notes/a:b"},"2":{"path":"/Notes/a_b"},"3":{"path":"/big.mov"}})";
  auto answer = corvane_.Run(73, 701, Command(Target()), items);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
  EXPECT_TRUE(ReadLocal(Target() + "/a_b") == "colon");
  EXPECT_TRUE(ReadLocal(Target() + "/a_b (2)") == "underscore");
  EXPECT_TRUE(ReadLocal(Target() + "/big.mov") == "the host's own file");
  EXPECT_EQ(Tree(Target()), (std::set<std::string>{"a_b", "a_b (2)", "big.mov"}));
}

TEST_F(Export, ABookWithAFileThatCouldNotBeCopiedIsSkippedNotArchivedIncomplete) {
  profile_.AddFile("Books/Torn.EPUB/mimetype", "application/epub+zip")
      .AddGeneratedFile("Books/Torn.EPUB/OEBPS/plates.bin", 6 * kMiB, 4);
  StartPhone();
  // The file service the export starts breaks off inside the book's large file.
  std::string error;
  ASSERT_TRUE(corvane_.simulator().SetServiceFault(kFileUdid, "com.apple.afc",
                                                    {devicesim::FaultKind::kDropAfterBytes, 3 * kMiB, 1}, &error));
  std::string items = R"({"1":{"path":"/Books/Torn.EPUB"}})";
  auto answer = corvane_.Run(74, 701, Command(Target()), items);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
  for (const hostlink::Report& report : corvane_.TakeReportsOf(74)) {
    EXPECT_TRUE(report.is_final()) << "an item report for an incomplete book: " << report.info;
  }
  EXPECT_FALSE(fs::exists(Target() + "/Torn.EPUB"));
}

TEST_F(Export, WithoutATargetFolderItemsGoUnderTheWorkFolder) {
  profile_.AddFile("DCIM/100APPLE/IMG_0001.JPG", "jpeg");
  StartPhone();
  auto answer = corvane_.Run(72, 701, Command(""), R"({"a":{"path":"/DCIM/100APPLE/IMG_0001.JPG"}})");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
  EXPECT_EQ(ReadLocal(corvane_.WorkFolder() + "/Export/IMG_0001.JPG"), "jpeg");
}

TEST_F(Export, UnreadableArgumentsGet8AndAnUnknownDevice7) {
  StartPhone();
  auto bad = corvane_.Run(73, 701, Command(Target()), R"({"1":{"path":)");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->code, 8);
  auto bad_command = corvane_.Run(74, 701, "{uuid}", "{}");
  ASSERT_TRUE(bad_command);
  EXPECT_EQ(bad_command->code, 8);
  auto unknown = corvane_.Run(75, 701, R"({"uuid":"nobody"})", "{}");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->code, 7);
}

}  // namespace
}  // namespace e2e
