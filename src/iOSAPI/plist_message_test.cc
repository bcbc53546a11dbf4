#include "iOSAPI/plist_message.h"

#include <gtest/gtest.h>

namespace {

std::string Xml(const std::string& body) {
  return std::string(kPlistHeaderAppleComputer) + "<plist version=\"1.0\">" + body + "</plist>";
}

PlistValue Parse(const std::string& bytes) {
  PlistValue value;
  EXPECT_TRUE(ParseMessage(bytes.data(), bytes.size(), &value));
  return value;
}

TEST(PlistMessage, NestedTrueSurvivesTheRoundTripThroughTheBinaryForm) {
  std::optional<std::string> message = MakeMessage(
      Xml("<dict><key>Command</key><string>PowerAssertion</string><key>Params</key><dict><key>Enabled</key><true/>"
          "</dict><key>Session</key><integer>0</integer></dict>"));
  ASSERT_TRUE(message);
  EXPECT_EQ(message->rfind("bplist00", 0), 0u);
  PlistValue value = Parse(*message);
  ASSERT_NE(value.FindDict("Params"), nullptr);
  const PlistValue* enabled = value.FindDict("Params")->Find("Enabled");
  ASSERT_NE(enabled, nullptr);
  EXPECT_TRUE(enabled->IsBoolean() && enabled->AsBool());
  EXPECT_EQ(value.FindInteger("Session"), 0);
  EXPECT_EQ(value.FindString("Command"), "PowerAssertion");
}

TEST(PlistMessage, BinaryAndXmlFormsGiveTheSameTree) {
  std::string xml = Xml(
      "<dict><key>b</key><array><integer>4294967296</integer><real>2.5</real><false/></array>"
      "<key>a</key><data>AAEC/w==</data><key>d</key><date>2020-05-01T10:20:30Z</date>"
      "<key>e</key><array/><key>f</key><dict/><key>g</key><integer>-5</integer></dict>");
  PlistValue from_xml = Parse(xml);
  PlistValue from_binary = Parse(*MakeMessage(xml));
  EXPECT_TRUE(from_xml == from_binary);
  EXPECT_EQ(from_xml.FindArray("b")->array()[0].AsInt64(), 4294967296);  // beyond 32 bits, kept whole
  EXPECT_EQ(from_xml.Find("a")->Bytes(), std::string("\x00\x01\x02\xff", 4));
  EXPECT_EQ(from_xml.Find("a")->Text(), "AAEC/w==");
  EXPECT_EQ(from_xml.Find("d")->Text(), "2020-05-01T10:20:30Z");
  EXPECT_TRUE(from_xml.FindArray("e")->array().empty());
  EXPECT_TRUE(from_xml.FindDict("f")->dict().empty());
  EXPECT_EQ(from_xml.FindInteger("g"), -5);
}

TEST(PlistMessage, GarbageIsNotAMessage) {
  PlistValue value;
  EXPECT_FALSE(ParseMessage("not a plist", 11, &value));
  EXPECT_FALSE(ParseMessage(nullptr, 0, &value));
  EXPECT_FALSE(MakeMessage("<plist><dict><key>x</key></plist>").has_value());
}

TEST(PlistMessage, MessageNameIsTheValueAfterTheFirstKey) {
  std::string ping = *MakeMessage(Xml("<dict><key>Command</key><string>Ping</string><key>x</key><true/></dict>"));
  EXPECT_EQ(MessageName(ping.data(), ping.size()), "Ping");
  std::string array = *MakeMessage(Xml("<array><string>Ping</string></array>"));
  EXPECT_EQ(MessageName(array.data(), array.size()), "");
}

TEST(PlistMessage, MessageNameRefusesAnXmlFormOver64KiB) {
  std::string big = *MakeMessage(Xml("<dict><key>Command</key><string>AssetMetrics</string><key>Pad</key><string>" +
                                     std::string(70000, 'p') + "</string></dict>"));
  EXPECT_EQ(MessageName(big.data(), big.size()), "");
}

TEST(PlistMessage, SerializeWritesEitherFormOfTheSameTree) {
  PlistValue tree = PlistValue::MakeDict({{"k", PlistValue::String("v")}, {"n", PlistValue::Integer(7)}});
  std::optional<std::string> xml = SerializePlist(tree, PlistFormat::kXml);
  std::optional<std::string> binary = SerializePlist(tree, PlistFormat::kBinary);
  ASSERT_TRUE(xml && binary);
  EXPECT_NE(xml->find("<key>k</key>"), std::string::npos);
  EXPECT_TRUE(Parse(*xml) == tree);
  EXPECT_TRUE(Parse(*binary) == tree);
}

TEST(PlistMessage, SubstitutedValuesCannotChangeTheStructure) {
  std::string hostile = "a</string><key>Command</key><string>Uninstall&";
  std::string xml = FillTemplate(
      Xml("<dict><key>ApplicationIdentifier</key><string>%s</string><key>Command</key><string>Archive</string></dict>"),
      {hostile});
  PlistValue value = Parse(*MakeMessage(xml));
  EXPECT_EQ(value.FindString("ApplicationIdentifier"), hostile);
  EXPECT_EQ(value.FindString("Command"), "Archive");
  EXPECT_EQ(value.dict().size(), 2u);
}

}  // namespace

namespace {

TEST(PlistMessage, HostileAnswersAreRefusedNotFatal) {
  // A string holding a NUL: read whole, not a crash.
  std::string with_nul = std::string(kPlistHeaderApple) + "<plist version=\"1.0\"><dict><key>k</key><string>a\0b</string></dict></plist>";
  PlistValue value;
  if (ParseMessage(with_nul.data(), with_nul.size(), &value)) {
    ASSERT_TRUE(value.FindString("k").has_value());
  }
  // A tree nested far deeper than any answer: refused.
  std::string deep = std::string(kPlistHeaderApple) + "<plist version=\"1.0\">";
  for (int i = 0; i < 5000; ++i) deep += "<array>";
  for (int i = 0; i < 5000; ++i) deep += "</array>";
  deep += "</plist>";
  std::optional<std::string> binary = MakeMessage(deep);
  ASSERT_TRUE(binary);
  EXPECT_FALSE(ParseMessage(binary->data(), binary->size(), &value));
  EXPECT_EQ(MessageName(binary->data(), binary->size()), "");
}

TEST(PlistMessage, AKeyHoldingANulIsReadNotFatal) {
  // Found by the fuzzer: the library's copying string reader aborts the process on this answer.
  const std::string answer("<key>i\x0c\0\0\0\0\0\0\0:</key>>", 22);
  PlistValue value;
  ParseMessage(answer.data(), answer.size(), &value);
  MessageName(answer.data(), answer.size());
  SUCCEED();
}

}  // namespace
