// Command 702: a device file streamed to the host in chunks.
#include "file/file_support.h"

namespace e2e {
namespace {

class Download : public FilePhone {
 protected:
  bool Start(uint64_t task, const std::string& path) {
    return corvane_.host().SendCommand(
        task, 702, std::string(R"({"uuid":")") + kFileUdid + R"(","stage":1,"code":0,"info":{"path":")" + path + "\"}}");
  }
  bool Next(uint64_t task, int code = 0) {
    return corvane_.host().SendCommand(task, 702, "{\"stage\":2,\"code\":" + std::to_string(code) + "}");
  }
};

TEST_F(Download, ANineMiBFileArrivesAsThreeChunksThatReassembleExactly) {
  std::string content = Generated(9 * kMiB, 3);
  profile_.AddGeneratedFile("DCIM/100APPLE/IMG_0001.MOV", 9 * kMiB, 3);
  StartPhone();
  ASSERT_TRUE(Start(80, "/DCIM/100APPLE/IMG_0001.MOV"));

  std::string received;
  std::vector<std::string> chunk_infos;
  std::optional<hostlink::Report> final;
  while (!final) {
    auto report = NextOf(80);
    ASSERT_TRUE(report);
    if (report->is_final()) {
      final = report;
      break;
    }
    EXPECT_EQ(report->stage, 2);
    EXPECT_EQ(report->header_code, 2);
    EXPECT_EQ(report->uuid, kFileUdid);
    EXPECT_TRUE(report->data_was_compressed);
    chunk_infos.push_back(report->info);
    received += report->data;
  }
  EXPECT_EQ(chunk_infos, (std::vector<std::string>{
                             R"({"offset":0,"offset_length":4194304,"size":9437184})",
                             R"({"offset":4194304,"offset_length":4194304,"size":9437184})",
                             R"({"offset":8388608,"offset_length":1048576,"size":9437184})",
                         }));
  EXPECT_TRUE(received == content) << "the reassembled file differs";
  EXPECT_EQ(final->code, 0);
  EXPECT_EQ(final->header_code, 1);
  EXPECT_EQ(final->info, R"({"path":"/DCIM/100APPLE/IMG_0001.MOV","size":9437184})");
  ExpectClosed("/DCIM/100APPLE/IMG_0001.MOV");
}

// A later packet with a non-zero "code" used to wait behind the whole stream; now it ends it between chunks.
TEST_F(Download, ALaterPacketWithANonZeroCodeStopsTheStream) {
  constexpr uint64_t kSize = 128 * kMiB;
  profile_.AddGeneratedFile("film.mov", kSize, 9);
  StartPhone();
  ASSERT_TRUE(Start(78, "/film.mov"));
  auto first = NextOf(78);
  ASSERT_TRUE(first);
  ASSERT_FALSE(first->is_final());
  ASSERT_TRUE(Next(78, 1));
  uint64_t streamed = first->data.size();
  std::optional<hostlink::Report> report;
  while ((report = NextOf(78)) && !report->is_final()) streamed += report->data.size();
  ASSERT_TRUE(report);
  EXPECT_EQ(report->code, 6);
  EXPECT_EQ(report->header_code, 5);
  EXPECT_LT(streamed, kSize);
  ExpectClosed("/film.mov");
}

TEST_F(Download, PacketsOfTheTaskDuringTheStreamBringNoSecondFinalReport) {
  profile_.AddGeneratedFile("clip.mov", 9 * kMiB, 5);
  StartPhone();
  ASSERT_TRUE(Start(79, "/clip.mov"));
  ASSERT_TRUE(Next(79));  // queued behind the streaming run
  int finals = 0;
  std::optional<hostlink::Report> report;
  while ((report = NextOf(79, 3s))) finals += report->is_final() ? 1 : 0;
  EXPECT_EQ(finals, 1);
}

TEST_F(Download, AnEmptyFileEndsAtOnceWithoutChunks) {
  profile_.AddFile("empty.txt", "");
  StartPhone();
  ASSERT_TRUE(Start(81, "/empty.txt"));
  auto report = NextOf(81);
  ASSERT_TRUE(report);
  EXPECT_TRUE(report->is_final());
  EXPECT_EQ(report->code, 0);
  ExpectClosed("/empty.txt");
}

TEST_F(Download, AStopRequestEndsTheStreamBetweenChunksClosesTheFileAndAnswers6Once) {
  profile_.AddGeneratedFile("big.bin", 64 * kMiB, 1);
  StartPhone();
  // The stream is still running when the stop arrives: the device holds its second read until the stop is answered.
  devicesim::RequestFilter reads{.channel = "afc", .name = "FILE_READ", .arg_key = "Path", .arg_value = "/big.bin"};
  int stall = corvane_.simulator().StallRequests(reads, 1);
  ASSERT_TRUE(Start(83, "/big.bin"));
  auto first = NextOf(83);
  ASSERT_TRUE(first);
  ASSERT_FALSE(first->is_final());
  auto stop = corvane_.Run(84, 600, R"({"info":{"task_id":"83"}})");
  corvane_.simulator().ReleaseStall(stall);
  ASSERT_TRUE(stop);
  std::optional<hostlink::Report> stopped;
  int chunks = 1;
  while ((stopped = NextOf(83)) && !stopped->is_final()) ++chunks;
  ASSERT_TRUE(stopped);
  EXPECT_LT(chunks, 16);
  EXPECT_EQ(stopped->code, 6);
  EXPECT_EQ(stopped->header_code, 5);
  EXPECT_EQ(stopped->uuid, kFileUdid);
  ExpectClosed("/big.bin");
  // The task is over: a late packet of it is dropped.
  ASSERT_TRUE(Next(83));
  AfterEverythingSent(183);
  EXPECT_FALSE(NextOf(83, 700ms));
}

// A first packet that starts nothing used to get no answer at all, leaving the host's task open for ever.
TEST_F(Download, WhatIsNoReadableFileGets13AndAPacketThatStartsNothingGets15) {
  profile_.AddFile("DCIM/100APPLE/IMG_0001.JPG", "jpeg");
  StartPhone();
  uint64_t task = 85;
  for (const char* path : {"/nothing-here", "/DCIM"}) {
    ASSERT_TRUE(Start(++task, path));
    auto answer = NextOf(task);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->code, 13) << path;
    EXPECT_TRUE(answer->is_final());
  }
  ASSERT_TRUE(Next(88));
  auto refused = NextOf(88);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->code, 15);
  EXPECT_TRUE(refused->is_final());
}

}  // namespace
}  // namespace e2e
