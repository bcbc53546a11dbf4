#include "report_format.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

namespace corvane_host {
namespace {

hostlink::Report SampleReport() {
  hostlink::Report r;
  r.task_id = 4;
  r.packet_type = 703;
  r.header_code = 2;
  r.payload_size = 99;
  r.marker = "1";
  r.stage = 2;
  r.code = 0;
  r.uuid = "u-1";
  r.type = 0;
  r.has_info = true;
  r.info = R"({"Count":3,"Name":"x"})";
  return r;
}

TEST(ReportFormatTest, OneLineWithHeaderFieldsAndInfoAsJson) {
  EXPECT_EQ(FormatReport(SampleReport(), false),
            R"({"task_id":4,"packet_type":703,"header_code":2,"payload_size":99,"stage":2,"code":0,"uuid":"u-1",)"
            R"("type":0,"info":{"Count":3,"Name":"x"}})");
}

TEST(ReportFormatTest, DataIsShownAsJsonWhenItIsJsonElseBySizeAndSha1) {
  hostlink::Report r = SampleReport();
  r.has_info = false;
  r.data = R"({"list":[1,2]})";
  r.data_was_compressed = true;
  EXPECT_NE(FormatReport(r, false).find(R"("data":{"list":[1,2]},"data_compressed":true)"), std::string::npos);

  r.data = "abc";  // UTF-8 text, but not JSON
  EXPECT_NE(FormatReport(r, false).find(R"("data":{"size":3,"sha1":"a9993e364706816aba3e25717850c26c9cd0d89d"})"),
            std::string::npos);
  r.data = std::string("\"\xff\"", 3);  // a JSON string that is not UTF-8
  EXPECT_NE(FormatReport(r, false).find(R"("data":{"size":3,)"), std::string::npos);
}

TEST(ReportFormatTest, PrettyOutputHoldsTheSameJsonOverSeveralLines) {
  hostlink::Report r = SampleReport();
  std::string pretty = FormatReport(r, true);
  EXPECT_NE(pretty.find('\n'), std::string::npos);
  rapidjson::Document a;
  rapidjson::Document b;
  a.Parse(pretty.c_str());
  b.Parse(FormatReport(r, false).c_str());
  EXPECT_TRUE(a == b);
}

TEST(ReportFormatTest, MalformedReportShowsItsErrorAndText) {
  hostlink::Report r;
  r.error = "report JSON does not parse";
  r.marker = "1";
  r.text_json = "{bad";
  std::string line = FormatReport(r, false);
  EXPECT_NE(line.find(R"("error":"report JSON does not parse","marker":"1","text":"{bad")"), std::string::npos);
}

}  // namespace
}  // namespace corvane_host
