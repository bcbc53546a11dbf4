// Command 703: files received from the host block by block, in place, resumable across restarts.
#include <openssl/evp.h>

#include <thread>

#include "file/file_support.h"

namespace e2e {
namespace {

std::string Md5Of(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
  char text[3];
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(text, sizeof text, "%02x", digest[i]);
    hex += text;
  }
  return hex;
}

struct Block {
  int64_t offset;
  int64_t length;
};

std::string Descriptor(const Block& block) {
  return "{\"offset\":" + std::to_string(block.offset) + ",\"offset_length\":" + std::to_string(block.length) + "}";
}

class Upload : public FilePhone {
 protected:
  void SetUp() override { content_ = Generated(3 * 4 * kMiB + 5, 11); }

  // Sends the start; returns the module's first answer.
  std::optional<hostlink::Report> Begin(uint64_t task, const std::string& info_members) {
    EXPECT_TRUE(corvane_.host().SendCommand(
        task, 703, std::string(R"({"uuid":")") + kFileUdid + R"(","stage":1,"code":0,"info":{)" + info_members + "}}"));
    return NextOf(task);
  }
  std::string Media(const std::string& name, const std::string& md5) {
    return R"("name":")" + name + R"(","media":true,"dir":"/DCIM/Uploads","size":)" + std::to_string(content_.size()) +
           R"(,"md5":")" + md5 + "\"";
  }
  std::optional<hostlink::Report> Send(uint64_t task, const Block& block, int64_t data_length = -1) {
    std::string data = content_.substr(block.offset, data_length < 0 ? block.length : data_length);
    EXPECT_TRUE(corvane_.host().SendCommand(task, 703, R"({"stage":2,"code":0,"info":)" + Descriptor(block) + "}", data));
    return NextOf(task);
  }
  // Sends whatever block the module asks for until it ends; returns the final report.
  std::optional<hostlink::Report> Follow(uint64_t task, std::optional<hostlink::Report> answer) {
    while (answer && !answer->is_final()) {
      EXPECT_EQ(answer->stage, 2);
      Block block = ParseBlock(answer->info);
      answer = Send(task, block);
    }
    return answer;
  }
  static Block ParseBlock(const std::string& info) {
    Block block{-1, -1};
    std::sscanf(info.c_str(), "{\"offset\":%ld,\"offset_length\":%ld}", &block.offset, &block.length);
    return block;
  }
  void ExpectLanded(const std::string& afc_path) {
    EXPECT_TRUE(ReadLocal(DevicePath(afc_path)) == content_) << afc_path << " differs";
    EXPECT_FALSE(DeviceHas(afc_path + ".bak"));
    EXPECT_FALSE(DeviceHas(afc_path + ".json"));
  }

  std::string content_;
};

const Block kBlocks[] = {{0, 4 * kMiB}, {4 * kMiB, 4 * kMiB}, {8 * kMiB, 4 * kMiB}, {12 * kMiB, 5}};

TEST_F(Upload, BlocksAskedForInOrderLandAsTheFileWithNothingLeftBeside) {
  profile_.AddFile("DCIM/Uploads/clip.mov", "an older clip of the same name");
  StartPhone();
  auto first = Begin(90, Media("clip.mov", Md5Of(content_)));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->info, R"({"offset":0,"offset_length":4194304})");
  EXPECT_EQ(first->uuid, kFileUdid);
  auto final = Follow(90, first);
  ASSERT_TRUE(final);
  EXPECT_EQ(final->code, 0);
  EXPECT_EQ(final->header_code, 1);
  EXPECT_EQ(final->info, R"({"path":"/DCIM/Uploads/clip.mov"})");
  ExpectLanded("/DCIM/Uploads/clip.mov");
  ExpectClosed("/DCIM/Uploads/clip.mov.bak");
  ExpectClosed("/DCIM/Uploads/clip.mov.json");
  // Each block starts where the one before ended: no seek travels to the device between them.
  EXPECT_EQ(AfcRequests("FILE_SEEK", "/DCIM/Uploads/clip.mov.bak"), 0u);
}

TEST_F(Upload, AnOlderFileOfTheNameIsReplacedByTheRenameAloneNeverRemovedFirst) {
  profile_.AddFile("DCIM/Uploads/kept.mov", "an older clip of the same name");
  StartPhone();
  auto final = Follow(89, Begin(89, Media("kept.mov", Md5Of(content_))));
  ASSERT_TRUE(final);
  EXPECT_EQ(final->code, 0);
  ExpectLanded("/DCIM/Uploads/kept.mov");
  // Removing the old file before the rename would lose it if the rename then failed.
  EXPECT_EQ(AfcRequests("REMOVE_PATH", "/DCIM/Uploads/kept.mov"), 0u);
  EXPECT_EQ(AfcRequests("RENAME_PATH", "/DCIM/Uploads/kept.mov.bak"), 1u);
}

// The two would share one data file and one journal: the newer start takes the target over, and the older
// upload's blocks are refused before they touch either.
TEST_F(Upload, ASecondStartToATargetTakesItOverAndTheFirstUploadsBlocksGet15) {
  StartPhone();
  std::string md5 = Md5Of(content_);
  auto first = Begin(87, Media("twice.bin", md5));
  ASSERT_TRUE(first);
  ASSERT_FALSE(first->is_final());
  auto second = Begin(88, Media("twice.bin", md5));
  ASSERT_TRUE(second);
  ASSERT_FALSE(second->is_final());
  size_t writes = AfcRequests("FILE_WRITE", "/DCIM/Uploads/twice.bin.bak");
  auto refused = Send(87, kBlocks[3]);
  ASSERT_TRUE(refused);
  EXPECT_TRUE(refused->is_final());
  EXPECT_EQ(refused->code, 15);
  EXPECT_EQ(AfcRequests("FILE_WRITE", "/DCIM/Uploads/twice.bin.bak"), writes);
  auto final = Follow(88, second);
  ASSERT_TRUE(final);
  EXPECT_EQ(final->code, 0);
  ExpectLanded("/DCIM/Uploads/twice.bin");
}

TEST_F(Upload, BlocksSentOutOfOrderLandInPlaceAndEachAnswerNamesTheFirstMissingBlock) {
  StartPhone();
  auto first = Begin(91, Media("shuffled.bin", Md5Of(content_)));
  ASSERT_TRUE(first);
  std::vector<std::string> asked;
  std::optional<hostlink::Report> answer;
  for (int index : {2, 3, 0, 1}) {
    answer = Send(91, kBlocks[index]);
    ASSERT_TRUE(answer);
    asked.push_back(answer->is_final() ? "final" : answer->info);
  }
  EXPECT_EQ(asked, (std::vector<std::string>{R"({"offset":0,"offset_length":4194304})",
                                             R"({"offset":0,"offset_length":4194304})",
                                             R"({"offset":4194304,"offset_length":4194304})", "final"}));
  EXPECT_EQ(answer->code, 0);
  ExpectLanded("/DCIM/Uploads/shuffled.bin");
  // Blocks 2 and 3 follow each other, as do 0 and 1: a seek before 2 (from 0) and before 0 (from the end) only.
  EXPECT_EQ(AfcRequests("FILE_SEEK", "/DCIM/Uploads/shuffled.bin.bak"), 2u);
}

TEST_F(Upload, ABookWithoutAFolderGoesUnderBooks) {
  StartPhone();
  auto final = Follow(92, Begin(92, R"("name":"Harbour Tales.epub","size":)" + std::to_string(content_.size())));
  ASSERT_TRUE(final);
  EXPECT_EQ(final->code, 0);
  EXPECT_EQ(final->info, R"({"path":"/Books/Harbour Tales.epub"})");
  ExpectLanded("/Books/Harbour Tales.epub");
}

TEST_F(Upload, AnUploadCutByAKilledHelperResumesFromItsJournalAfterARestart) {
  StartPhone();
  std::string md5 = Md5Of(content_);
  ASSERT_TRUE(Begin(93, Media("resumed.bin", md5)));
  ASSERT_TRUE(Send(93, kBlocks[0]));
  ASSERT_TRUE(Send(93, kBlocks[2]));
  // An answer comes as soon as a block is accepted, before it is written: the journal says when it landed.
  std::string journal_path = DevicePath("/DCIM/Uploads/resumed.bin.json");
  for (int i = 0; i < 500 && ReadLocal(journal_path).find(R"("8388608":{"status":1,)") == std::string::npos; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  corvane_.corvane().Kill();
  ASSERT_TRUE(corvane_.corvane().WaitExit(5s));
  EXPECT_TRUE(DeviceHas("/DCIM/Uploads/resumed.bin.bak"));
  std::string journal = ReadLocal(journal_path);
  EXPECT_NE(journal.find(R"("0":{"status":1,)"), std::string::npos) << journal;
  EXPECT_NE(journal.find(R"("4194304":{"status":0,)"), std::string::npos) << journal;
  EXPECT_NE(journal.find(R"("8388608":{"status":1,)"), std::string::npos) << journal;

  ASSERT_TRUE(corvane_.Restart());
  ASSERT_TRUE(corvane_.WaitForDeviceReady(kFileUdid));
  size_t writes_before = AfcRequests("FILE_WRITE", "/DCIM/Uploads/resumed.bin.bak");
  auto first = Begin(94, Media("resumed.bin", md5));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->info, R"({"offset":4194304,"offset_length":4194304})");
  auto final = Follow(94, first);
  ASSERT_TRUE(final);
  EXPECT_EQ(final->code, 0);
  ExpectLanded("/DCIM/Uploads/resumed.bin");
  // Only the two missing blocks travelled again.
  EXPECT_EQ(AfcRequests("FILE_WRITE", "/DCIM/Uploads/resumed.bin.bak") - writes_before, 2u);
}

TEST_F(Upload, AJournalThatCannotBeReadOrIsAnotherFilesStartsTheUploadAnew) {
  profile_.AddFile("DCIM/Uploads/garbled.bin.json", "{\"version\":\"1\",\"fbs\":")
      .AddFile("DCIM/Uploads/garbled.bin.bak", "stale")
      .AddFile("DCIM/Uploads/other.bin.json",
               R"({"version":"1","path":"other.bin","md5":"","size":5,"status":0,)"
               R"("fbs":{"0":{"status":1,"offset":0,"offset_length":5}}})")
      .AddFile("DCIM/Uploads/other.bin.bak", "stale");
  StartPhone();
  for (const char* name : {"garbled.bin", "other.bin"}) {
    uint64_t task = std::string(name) == "garbled.bin" ? 95 : 96;
    auto first = Begin(task, Media(name, Md5Of(content_)));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->info, R"({"offset":0,"offset_length":4194304})") << name;
    auto final = Follow(task, first);
    ASSERT_TRUE(final);
    EXPECT_EQ(final->code, 0) << name;
    ExpectLanded(std::string("/DCIM/Uploads/") + name);
  }
}

TEST_F(Upload, AFileWhoseMd5DiffersNeverBecomesTheFinalFile) {
  profile_.AddFile("DCIM/Uploads/kept.bin", "the file before");
  StartPhone();
  auto final = Follow(97, Begin(97, Media("kept.bin", "00112233445566778899aabbccddeeff")));
  ASSERT_TRUE(final);
  EXPECT_EQ(final->code, 14);
  EXPECT_EQ(final->header_code, 6);
  EXPECT_EQ(ReadLocal(DevicePath("/DCIM/Uploads/kept.bin")), "the file before");
  EXPECT_FALSE(DeviceHas("/DCIM/Uploads/kept.bin.bak"));
  EXPECT_FALSE(DeviceHas("/DCIM/Uploads/kept.bin.json"));
}

TEST_F(Upload, ABlockSentAgainWithOtherBytesIsCheckedAgainstTheMd5) {
  StartPhone();
  ASSERT_TRUE(Begin(110, Media("twice.bin", Md5Of(content_))));
  ASSERT_TRUE(Send(110, kBlocks[0]));
  // The same block again, now as zeros: what lands on the device is no longer the file the MD5 names.
  std::string zeros(kBlocks[0].length, '\0');
  ASSERT_TRUE(corvane_.host().SendCommand(110, 703, R"({"stage":2,"code":0,"info":)" + Descriptor(kBlocks[0]) + "}", zeros));
  auto answer = NextOf(110);
  for (size_t i = 1; answer && !answer->is_final() && i < std::size(kBlocks); ++i) answer = Send(110, kBlocks[i]);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 14);
  EXPECT_FALSE(DeviceHas("/DCIM/Uploads/twice.bin"));
}

TEST_F(Upload, WithoutAnMd5AJournalOfTheSameNameAndSizeIsNotResumed) {
  StartPhone();
  ASSERT_TRUE(Begin(111, Media("plain.bin", "")));
  ASSERT_TRUE(Send(111, kBlocks[0]));
  // Another file of the same name and size, also without an MD5: it must not inherit the first one's block.
  content_ = Generated(content_.size(), 12);
  auto first = Begin(112, Media("plain.bin", ""));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->info, R"({"offset":0,"offset_length":4194304})");
  auto final = Follow(112, first);
  ASSERT_TRUE(final);
  EXPECT_EQ(final->code, 0);
  ExpectLanded("/DCIM/Uploads/plain.bin");
}

TEST_F(Upload, AnUpperCaseMd5AndOneCheckedByReadingBackBothPass) {
  StartPhone();
  std::string upper = Md5Of(content_);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_TRUE(Begin(98, Media("upper.bin", upper)));
  std::optional<hostlink::Report> answer;
  for (int index : {1, 0, 3, 2}) answer = Send(98, kBlocks[index]);  // out of order: the file is read back
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->code, 0);
  ExpectLanded("/DCIM/Uploads/upper.bin");
}

TEST_F(Upload, StoppingTheTaskWhileItWaitsAnswers6ClosesTheDataFileAndKeepsTheJournal) {
  StartPhone();
  ASSERT_TRUE(Begin(99, Media("stopped.bin", Md5Of(content_))));
  ASSERT_TRUE(Send(99, kBlocks[0]));
  auto stop = corvane_.Run(100, 600, R"({"info":{"task_id":"99"}})");
  ASSERT_TRUE(stop);
  auto stopped = NextOf(99);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->code, 6);
  EXPECT_EQ(stopped->header_code, 5);
  EXPECT_EQ(stopped->uuid, kFileUdid);
  ExpectClosed("/DCIM/Uploads/stopped.bin.bak");
  ExpectClosed("/DCIM/Uploads/stopped.bin.json");
  EXPECT_TRUE(DeviceHas("/DCIM/Uploads/stopped.bin.json"));
  // Late blocks of the stopped task do no more work.
  size_t writes = AfcRequests("FILE_WRITE", "/DCIM/Uploads/stopped.bin.bak");
  EXPECT_TRUE(corvane_.host().SendCommand(99, 703, R"({"stage":2,"code":0,"info":)" + Descriptor(kBlocks[1]) + "}",
                                          content_.substr(kBlocks[1].offset, kBlocks[1].length)));
  AfterEverythingSent(199);
  EXPECT_FALSE(NextOf(99, 700ms));
  EXPECT_EQ(AfcRequests("FILE_WRITE", "/DCIM/Uploads/stopped.bin.bak"), writes);
}

TEST_F(Upload, ABlockThatIsNotOneOfTheFilesGets15AndTheHostCanStopWithACode) {
  StartPhone();
  ASSERT_TRUE(Begin(101, Media("bad-block.bin", "")));
  auto wrong_length = Send(101, kBlocks[0], 100);
  ASSERT_TRUE(wrong_length);
  EXPECT_EQ(wrong_length->code, 15);
  ExpectClosed("/DCIM/Uploads/bad-block.bin.bak");

  ASSERT_TRUE(Begin(102, Media("host-stop.bin", "")));
  EXPECT_TRUE(corvane_.host().SendCommand(102, 703, R"({"stage":2,"code":3})"));
  auto stopped = NextOf(102);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped->code, 6);
  EXPECT_EQ(stopped->header_code, 5);

  auto no_name = Begin(103, R"("media":false,"size":10)");
  ASSERT_TRUE(no_name);
  EXPECT_EQ(no_name->code, 15);
  auto media_without_folder = Begin(104, R"("name":"x.bin","media":true,"size":10)");
  ASSERT_TRUE(media_without_folder);
  EXPECT_EQ(media_without_folder->code, 15);
}

}  // namespace
}  // namespace e2e
