#include "utility/task_report.h"

#include <gtest/gtest.h>

#include "utility/command_payload.h"
#include "utility/zeb_utility.h"

using namespace std::string_literals;

TEST(TaskReport, TextPartIsByteExact) {
  TaskReport report;
  report.stage = 2;
  report.code = 7;
  report.uuid = "abc\"d";
  report.type = 1;
  report.info = "{\"b\":1,\"a\":[true]}";
  EXPECT_EQ(BuildReportText(report), "1\0{\"stage\":2,\"code\":7,\"uuid\":\"abc\\\"d\",\"type\":1,\"info\":{\"b\":1,\"a\":[true]}}\0"s);
}

TEST(TaskReport, InfoIsLeftOutWhenEmptyOrNotJson) {
  TaskReport report;
  EXPECT_EQ(BuildReportText(report), "1\0{\"stage\":0,\"code\":0,\"uuid\":\"\",\"type\":0}\0"s);
  report.info = "{broken";
  EXPECT_EQ(BuildReportText(report), "1\0{\"stage\":0,\"code\":0,\"uuid\":\"\",\"type\":0}\0"s);
}

TEST(TaskReport, LongTextPartIsKeptWhole) {
  TaskReport report;
  report.info = "{\"x\":\"" + std::string(200000, 'y') + "\"}";
  std::string text = BuildReportText(report);
  EXPECT_EQ(text.size(), 2 + std::string("{\"stage\":0,\"code\":0,\"uuid\":\"\",\"type\":0,\"info\":}").size() +
                             report.info.size() + 1);
}

TEST(TaskReport, TypeZeroDataIsZlibCompressedOtherTypesAreRaw) {
  std::string payload(100000, 'q');
  TaskReport report;
  report.data = payload;
  std::string storage;
  std::string_view sent = BuildReportData(report, &storage);
  ASSERT_FALSE(sent.empty());
  EXPECT_LT(sent.size(), payload.size());
  EXPECT_EQ(static_cast<unsigned char>(sent[0]), 0x78);  // zlib stream header
  EXPECT_EQ((0x78 * 256 + static_cast<unsigned char>(sent[1])) % 31, 0);  // a valid header without a dictionary
  std::string back;
  ASSERT_TRUE(ZlibDecompress(sent, &back));
  EXPECT_TRUE(back == payload);

  report.type = 1;
  EXPECT_EQ(BuildReportData(report, &storage).data(), payload.data());
  report.data = {};
  EXPECT_TRUE(BuildReportData(report, &storage).empty());
}

TEST(ZlibDecompress, RefusesCutAndForeignStreams) {
  std::string compressed, back;
  ASSERT_TRUE(ZlibCompress("hello hello hello", 9, &compressed));
  EXPECT_FALSE(ZlibDecompress(std::string_view(compressed).substr(0, compressed.size() - 3), &back));
  EXPECT_FALSE(ZlibDecompress("not zlib at all", &back));
  EXPECT_TRUE(ZlibDecompress(compressed, &back));
  EXPECT_EQ(back, "hello hello hello");
}

TEST(CommandPayload, SplitsMarkerJsonAndData) {
  const std::string full_text = "1\0{\"a\":1}\0bin\0ary"s, bare_text = "1\0{\"a\":1}\0"s, cut_text = "1\0{\"a\":1}"s;
  CommandPayload full = SplitCommandPayload(full_text);
  EXPECT_EQ(full.marker, 1);
  EXPECT_EQ(full.json, "{\"a\":1}");
  EXPECT_EQ(full.rest, "bin\0ary"s);
  // Without a data part the command reads the same as with an empty one.
  CommandPayload bare = SplitCommandPayload(bare_text);
  CommandPayload unterminated = SplitCommandPayload(cut_text);
  EXPECT_EQ(bare.json, full.json);
  EXPECT_EQ(unterminated.json, full.json);
  EXPECT_TRUE(bare.rest.empty() && unterminated.rest.empty());
  EXPECT_EQ(SplitCommandPayload("").marker, 0);
}
