// --save: streamed files reassembled from their chunks, nothing left of a failed stream, images by their item,
// and names from the device kept inside the folder.
#include "file_saver.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace corvane_host {
namespace {

namespace fs = std::filesystem;

hostlink::Report Chunk(int64_t offset, std::string data, int64_t size) {
  hostlink::Report r;
  r.packet_type = 702;
  r.header_code = hostlink::kCodeProgress;
  r.stage = 2;
  r.has_info = true;
  r.info = "{\"offset\":" + std::to_string(offset) + ",\"offset_length\":" + std::to_string(data.size()) +
           ",\"size\":" + std::to_string(size) + "}";
  r.data = std::move(data);
  return r;
}

hostlink::Report Final(uint16_t header_code, int64_t code, int64_t size) {
  hostlink::Report r;
  r.packet_type = 702;
  r.header_code = header_code;
  r.code = code;
  r.has_info = true;
  r.info = "{\"path\":\"/x\",\"size\":" + std::to_string(size) + "}";
  return r;
}

class FileSaverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "file-saver-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    command_.Parse(R"({"stage":1,"info":{"path":"/DCIM/100APPLE/IMG_0042.MOV"}})");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    return names;
  }
  const SaveShape kStream{SaveKind::kStream};
  std::string dir_;
  rapidjson::Document command_;
};

TEST_F(FileSaverTest, ChunksInAnyOrderBecomeTheFileOnlyWhenTheStreamSucceeds) {
  FileSaver saver(dir_);
  EXPECT_EQ(saver.Take(4, kStream, Chunk(4, "efg", 7), &command_).path, "");
  EXPECT_EQ(saver.Take(4, kStream, Chunk(0, "abcd", 7), &command_).path, "");
  EXPECT_EQ(Files(), std::vector<std::string>{"IMG_0042.MOV.part"});
  SaveOutcome done = saver.Take(4, kStream, Final(hostlink::kCodeSuccess, 0, 7), &command_);
  EXPECT_EQ(done.error, "");
  EXPECT_EQ(done.path, dir_ + "/IMG_0042.MOV");
  EXPECT_EQ(Read(done.path), "abcdefg");
  EXPECT_EQ(Files(), std::vector<std::string>{"IMG_0042.MOV"});
}

TEST_F(FileSaverTest, AStoppedOrShortStreamLeavesNothing) {
  FileSaver saver(dir_);
  saver.Take(4, kStream, Chunk(0, "abcd", 8), &command_);
  EXPECT_EQ(saver.Take(4, kStream, Final(hostlink::kCodeAborted, 6, 8), &command_).path, "");
  EXPECT_TRUE(Files().empty());

  // Success reported although a chunk never came: the file would have a hole, so it is not kept.
  saver.Take(5, kStream, Chunk(0, "abcd", 8), &command_);
  SaveOutcome short_file = saver.Take(5, kStream, Final(hostlink::kCodeSuccess, 0, 8), &command_);
  EXPECT_EQ(short_file.path, "");
  EXPECT_NE(short_file.error.find("4 bytes of the file's 8"), std::string::npos) << short_file.error;
  EXPECT_TRUE(Files().empty());
}

TEST_F(FileSaverTest, AChunkOutsideTheFileIsRefusedAndAnEmptyFileIsSaved) {
  FileSaver saver(dir_);
  SaveOutcome beyond = saver.Take(4, kStream, Chunk(6, "abcd", 8), &command_);
  EXPECT_NE(beyond.error.find("does not fit"), std::string::npos);
  EXPECT_EQ(saver.Take(4, kStream, Final(hostlink::kCodeSuccess, 0, 8), &command_).path, "");
  EXPECT_TRUE(Files().empty());

  SaveOutcome empty = saver.Take(5, kStream, Final(hostlink::kCodeSuccess, 0, 0), &command_);
  EXPECT_EQ(empty.path, dir_ + "/IMG_0042.MOV");
  EXPECT_EQ(fs::file_size(empty.path), 0u);
}

TEST_F(FileSaverTest, HostileDeviceNamesStayInsideTheFolder) {
  EXPECT_EQ(SafeFileName("/DCIM/../../etc/passwd", "x"), "passwd");
  EXPECT_EQ(SafeFileName("..", "x"), "x");
  EXPECT_EQ(SafeFileName("/Books/", "x"), "x");
  EXPECT_EQ(SafeFileName("a\\..\\b:c*?\"<>|\n", "x"), "a_.._b_c_______");
  EXPECT_EQ(SafeFileName(std::string(300, 'n'), "x").size(), 255u);

  FileSaver saver(dir_);
  hostlink::Report icon;
  icon.packet_type = 502;
  icon.header_code = hostlink::kCodeProgress;
  icon.stage = 2;
  icon.has_info = true;
  icon.info = R"({"bundle_id":"../../com.x.app"})";
  icon.data = std::string("\x89PNG\r\n\x1a\n", 8) + "pixels";
  SaveOutcome saved = saver.Take(9, SaveShape{SaveKind::kImages, "bundle_id"}, icon, nullptr);
  EXPECT_EQ(saved.path, dir_ + "/com.x.app.png");
  EXPECT_EQ(Read(saved.path), icon.data);
  icon.data = "not an image";
  EXPECT_EQ(saver.Take(9, SaveShape{SaveKind::kImages, "bundle_id"}, icon, nullptr).path, "");
}

}  // namespace
}  // namespace corvane_host
