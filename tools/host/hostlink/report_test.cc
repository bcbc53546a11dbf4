#include "hostlink/report.h"

#include <gtest/gtest.h>

#include "hostlink/zlib_codec.h"

namespace hostlink {
namespace {

Packet MakePacket(std::string payload, uint16_t code = kCodeSuccess) {
  PacketHeader header{5, 600, code, payload.size()};
  return {header, std::move(payload)};
}

std::string Text(std::string_view json) { return std::string("1\0", 2) + std::string(json) + std::string(1, '\0'); }

TEST(ReportTest, ReadsHeaderAndEveryMemberOfTheTextPart) {
  Report r = ParseReport(MakePacket(Text(R"({"stage":2,"code":-3,"uuid":"ab-c","type":1,"info":{"Count":4}})")));
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.task_id, 5u);
  EXPECT_EQ(r.packet_type, 600u);
  EXPECT_EQ(r.header_code, kCodeSuccess);
  EXPECT_EQ(r.payload_size, r.text_json.size() + 3);
  EXPECT_EQ(r.marker, "1");
  EXPECT_EQ(r.stage, 2);
  EXPECT_EQ(r.code, -3);
  EXPECT_EQ(r.uuid, "ab-c");
  EXPECT_EQ(r.type, 1);
  EXPECT_TRUE(r.has_info);
  EXPECT_EQ(r.info, R"({"Count":4})");
  EXPECT_TRUE(r.data.empty());
  EXPECT_FALSE(r.data_was_compressed);
  EXPECT_TRUE(r.is_final());
}

TEST(ReportTest, InfoKeepsTheBytesAsSentWhereverItSits) {
  // Order, spacing, number spelling and escapes survive; a nested "info" key is not the top-level one.
  std::string json = R"({"stage":0,"info" : {"b":1.50,"a":[{"info":2}],"s":"\u00e9\""} ,"code":0,"uuid":"","type":0})";
  Report r = ParseReport(MakePacket(Text(json)));
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.info, R"({"b":1.50,"a":[{"info":2}],"s":"\u00e9\""})");

  Report scalar = ParseReport(MakePacket(Text(R"({"stage":0,"code":0,"uuid":"","type":0,"info":"text"})")));
  EXPECT_EQ(scalar.info, R"("text")");
}

TEST(ReportTest, ReportWithoutInfoHasNone) {
  Report r = ParseReport(MakePacket(Text(R"({"stage":0,"code":0,"uuid":"","type":0})")));
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_FALSE(r.has_info);
  EXPECT_TRUE(r.info.empty());
}

TEST(ReportTest, TypeZeroDataIsInflatedOtherTypesAreRaw) {
  std::string raw(100000, 'x');
  raw += std::string("\0\x16kCommand", 10);
  Report zipped = ParseReport(MakePacket(Text(R"({"stage":2,"code":0,"uuid":"","type":0})") + ZlibDeflate(raw)));
  ASSERT_TRUE(zipped.ok()) << zipped.error;
  EXPECT_TRUE(zipped.data_was_compressed);
  EXPECT_EQ(zipped.data, raw);

  Report plain = ParseReport(MakePacket(Text(R"({"stage":2,"code":0,"uuid":"","type":1})") + raw));
  ASSERT_TRUE(plain.ok()) << plain.error;
  EXPECT_FALSE(plain.data_was_compressed);
  EXPECT_EQ(plain.data, raw);
}

TEST(ReportTest, TextPartLongerThan64KiBIsReadWhole) {
  std::string big(70000, 'z');
  std::string info = R"({"blob":")" + big + R"("})";
  Report r = ParseReport(MakePacket(Text(R"({"stage":1,"code":0,"uuid":"u","type":1,"info":)" + info + "}") + "DATA"));
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.info, info);
  EXPECT_EQ(r.data, "DATA");
}

TEST(ReportTest, MalformedPayloadsSayWhatIsWrong) {
  EXPECT_NE(ParseReport(MakePacket("1")).error.find("marker"), std::string::npos);
  EXPECT_NE(ParseReport(MakePacket(std::string("1\0{}", 4))).error.find("after the JSON"), std::string::npos);
  EXPECT_NE(ParseReport(MakePacket(Text("{nope"))).error.find("does not parse"), std::string::npos);
  EXPECT_NE(ParseReport(MakePacket(Text(R"({"stage":0,"code":"1","uuid":"","type":0})"))).error.find("\"code\""),
            std::string::npos);

  Report bad_zlib = ParseReport(MakePacket(Text(R"({"stage":2,"code":0,"uuid":"","type":0})") + "not zlib"));
  EXPECT_NE(bad_zlib.error.find("inflate"), std::string::npos);
  EXPECT_EQ(bad_zlib.data, "not zlib");  // the raw bytes stay visible
}

TEST(ZlibCodecTest, InflateRefusesCutShortAndTrailingBytes) {
  std::string compressed = ZlibDeflate("hello hello hello");
  std::string raw;
  std::string error;
  ASSERT_TRUE(ZlibInflate(compressed, &raw, &error));
  EXPECT_EQ(raw, "hello hello hello");
  EXPECT_FALSE(ZlibInflate(compressed.substr(0, compressed.size() - 2), &raw, &error));
  EXPECT_FALSE(ZlibInflate(compressed + "x", &raw, &error));
  EXPECT_FALSE(ZlibInflate("", &raw, &error));
}

}  // namespace
}  // namespace hostlink
