// Progress shapes: today's commands through their rows of the command list, and the shapes of later commands
// (backup and restore steps, wipe percent, driver download) as rows, to show they need no code.
#include "progress_shape.h"

#include <gtest/gtest.h>

#include "command_list.h"

namespace corvane_host {
namespace {

hostlink::Report ReportOf(uint32_t type, int64_t stage, int64_t code, std::string info,
                          uint16_t header_code = hostlink::kCodeProgress) {
  hostlink::Report r;
  r.packet_type = type;
  r.header_code = header_code;
  r.stage = stage;
  r.code = code;
  r.has_info = !info.empty();
  r.info = std::move(info);
  return r;
}

rapidjson::Document Json(const char* text) {
  rapidjson::Document doc;
  doc.Parse(text);
  return doc;
}

std::optional<ProgressReading> Read(uint32_t type, const hostlink::Report& r, const rapidjson::Value* command) {
  const CommandInfo* row = FindCommand(type);
  EXPECT_TRUE(row != nullptr && row->progress != nullptr) << type;
  return ReadProgress(*row->progress, r, command);
}

TEST(ProgressShapeTest, StreamedChunksCountTheBytesUpToTheirEnd) {
  rapidjson::Document command = Json(R"({"stage":1,"info":{"path":"/DCIM/a.MOV"}})");
  auto reading =
      Read(702, ReportOf(702, 2, 0, R"({"offset":4194304,"offset_length":4194304,"size":9500000})"), &command);
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->done, 8388608);
  EXPECT_EQ(reading->total, 9500000);
  EXPECT_EQ(reading->unit, ProgressUnit::kBytes);
  EXPECT_EQ(reading->label, "/DCIM/a.MOV");
  // The final report {"path","size"} is not a progress report, nor is a chunk of a command that did not parse.
  EXPECT_FALSE(Read(702, ReportOf(702, 0, 0, R"({"path":"/a","size":5})", hostlink::kCodeSuccess), &command));
  auto without_command = Read(702, ReportOf(702, 2, 0, R"({"offset":0,"offset_length":5,"size":9})"), nullptr);
  ASSERT_TRUE(without_command);
  EXPECT_EQ(without_command->label, "");
}

TEST(ProgressShapeTest, UploadAnswersCountAgainstTheSizeTheHostSent) {
  rapidjson::Document command = Json(R"({"uuid":"U","stage":1,"info":{"name":"clip.mov","size":12582917}})");
  auto reading = Read(703, ReportOf(703, 2, 0, R"({"offset":8388608,"offset_length":4194304})"), &command);
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->done, 8388608);
  EXPECT_EQ(reading->total, 12582917);
  EXPECT_EQ(reading->label, "clip.mov");
  rapidjson::Document no_size = Json(R"({"stage":1,"info":{"name":"clip.mov"}})");
  EXPECT_FALSE(Read(703, ReportOf(703, 2, 0, R"({"offset":0,"offset_length":4})"), &no_size));
}

TEST(ProgressShapeTest, InstallPercentIsProgressAndTheOtherPackageReportsAreNot) {
  auto reading = Read(504, ReportOf(504, 2, 0, R"({"bundle_id":"com.x.app","percent":45})"), nullptr);
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->done, 45);
  EXPECT_EQ(reading->total, 100);
  EXPECT_EQ(reading->label, "com.x.app");
  EXPECT_FALSE(Read(504, ReportOf(504, 2, 0, R"({"bundle_id":"com.x.app","package":"/a.ipa"})"), nullptr));
  EXPECT_FALSE(Read(504, ReportOf(504, 2, 0, R"({"bundle_id":"com.x.app","percent":"45"})"), nullptr));
  // Amounts past the total are capped; below zero they are not progress.
  EXPECT_EQ(Read(505, ReportOf(505, 2, 0, R"({"percent":140})"), nullptr)->done, 100);
  EXPECT_FALSE(Read(505, ReportOf(505, 2, 0, R"({"percent":-1})"), nullptr));
}

TEST(ProgressShapeTest, LaterCommandShapesAreRows) {
  constexpr ProgressShape kBackupSteps{.done = "code", .total = "10000", .stage = 1};
  auto step = ReadProgress(kBackupSteps, ReportOf(1600, 1, 2500, ""), nullptr);
  ASSERT_TRUE(step);
  EXPECT_EQ(step->done * 100 / step->total, 25);
  EXPECT_FALSE(ReadProgress(kBackupSteps, ReportOf(1600, 0, 0, R"({"BackupDir":"/b"})"), nullptr));

  constexpr ProgressShape kWipePercent{.done = "code", .total = "100", .stage = 0};
  EXPECT_EQ(ReadProgress(kWipePercent, ReportOf(1701, 0, 50, ""), nullptr)->done, 50);
  EXPECT_FALSE(ReadProgress(kWipePercent, ReportOf(1701, 0, 0, "", hostlink::kCodeSuccess), nullptr));

  constexpr ProgressShape kDriverDownload{.done = "info.step",
                                          .total = "info.total",
                                          .unit = ProgressUnit::kBytes,
                                          .label = "package {info.index} of {info.count}"};
  auto download =
      ReadProgress(kDriverDownload, ReportOf(16, 2, 0, R"({"total":3000,"step":1200,"index":2,"count":3})"), nullptr);
  ASSERT_TRUE(download);
  EXPECT_EQ(download->done, 1200);
  EXPECT_EQ(download->total, 3000);
  EXPECT_EQ(download->label, "package 2 of 3");
  // A total of 0 (the size of a package could not be learnt) gives no reading rather than a division by zero.
  EXPECT_FALSE(ReadProgress(kDriverDownload, ReportOf(16, 2, 0, R"({"total":0,"step":10,"index":1,"count":3})"),
                            nullptr));
}

}  // namespace
}  // namespace corvane_host
