#include "utility/module/app/app_table.h"

#include <gtest/gtest.h>

#include "iOSAPI/plist_message.h"

namespace {

PlistValue Dict(PlistValue::Dict members) { return PlistValue::MakeDict(std::move(members)); }
PlistValue Text(const char* text) { return PlistValue::String(text); }

std::string Binary(const PlistValue& value) { return SerializePlist(value, PlistFormat::kBinary).value(); }

PlistValue FullMetadata() {
  return Dict({{"softwareVersionBundleId", Text("com.example.store")},
               {"bundleShortVersionString", Text("2.0")},
               {"bundleVersion", Text("200")},
               {"bundleDisplayName", Text("Store Name")},
               {"releaseDate", Text("2023-03-14T08:00:00Z")},
               {"artistName", Text("Example Ltd")},
               {"itemName", Text("Example - Tide Tables")},
               {"itemId", PlistValue::Integer(123456)},
               {"softwareIcon57x57URL", Text("https://example.com/icon57.png")},
               {"appleId", Text("buyer@example.com")},
               {"com.apple.iTunesStore.downloadInfo",
                Dict({{"purchaseDate", Text("2023-04-02T19:21:07Z")},
                      {"accountInfo", Dict({{"AppleID", Text("other@example.com")}})}})}});
}

TEST(AppTable, ListedMembersComeInTheFixedOrderWhateverOrderTheDeviceUses) {
  AppTable table;
  table.AddListed(Dict({{"Path", Text("/p/A.app")},
                        {"CFBundleVersion", Text("7")},
                        {"CFBundleIdentifier", Text("com.example.a")},
                        {"CFBundleExecutable", Text("A")},
                        {"CFBundleName", Text("A")},
                        {"ApplicationType", Text("User")},
                        {"CFBundleShortVersionString", Text("0.7")},
                        {"CFBundleDisplayName", Text("App A")},
                        {"ApplicationSINF", PlistValue::Data("sinf")}}));
  table.AddSizes(Dict({{"CFBundleIdentifier", Text("com.example.a")},
                       {"StaticDiskUsage", PlistValue::Integer(91750400)},
                       {"DynamicDiskUsage", PlistValue::Integer(48234496)}}));
  ASSERT_EQ(table.apps().size(), 1u);
  EXPECT_EQ(table.apps()[0].ToJson(),
            R"({"ApplicationType":"User","CFBundleIdentifier":"com.example.a","CFBundleDisplayName":"App A",)"
            R"("CFBundleName":"A","CFBundleShortVersionString":"0.7","CFBundleVersion":"7","Path":"/p/A.app",)"
            R"("data-size":48234496,"app-size":91750400})");
}

TEST(AppTable, StoreMetadataArrivesAsDataAndFillsOnlyWhatTheBundleLacks) {
  AppTable table;
  table.AddListed(Dict({{"CFBundleIdentifier", Text("com.example.a")},
                        {"CFBundleVersion", Text("199")},
                        {"iTunesMetadata", PlistValue::Data(Binary(FullMetadata()))}}));
  ASSERT_EQ(table.apps().size(), 1u);
  EXPECT_EQ(table.apps()[0].ToJson(),
            R"({"CFBundleIdentifier":"com.example.a","CFBundleVersion":"199","CFBundleShortVersionString":"2.0",)"
            R"("CFBundleDisplayName":"Store Name","releaseDate":"2023-03-14T08:00:00Z","artistName":"Example Ltd",)"
            R"("itemName":"Example - Tide Tables","softwareIcon57x57URL":"https://example.com/icon57.png",)"
            R"("AppleID":"buyer@example.com","purchaseDate":"2023-04-02T19:21:07Z"})");
}

TEST(AppTable, AppleIdComesFromAccountInfoWhenTheTopLevelHasNone) {
  PlistValue in_download = Dict({{"com.apple.iTunesStore.downloadInfo",
                                  Dict({{"accountInfo", Dict({{"AppleID", Text("nested@example.com")}})}})}});
  AppObject nested;
  AddStoreMetadata(in_download, &nested);
  EXPECT_EQ(nested.Text("AppleID"), "nested@example.com");

  AppObject top;
  AddStoreMetadata(Dict({{"accountInfo", Dict({{"AppleID", Text("top@example.com")}})}}), &top);
  EXPECT_EQ(top.Text("AppleID"), "top@example.com");
}

TEST(AppTable, MetadataValuesBecomeTextAndKindsWithoutTextAreLeftOut) {
  AppObject app;
  AddStoreMetadata(Dict({{"bundleVersion", PlistValue::Integer(42)},
                         {"releaseDate", PlistValue::Date("2020-01-02T03:04:05Z")},
                         {"artistName", PlistValue::MakeArray({Text("x")})},
                         {"itemName", PlistValue::Boolean(true)}}),
                    &app);
  EXPECT_EQ(app.ToJson(), R"({"CFBundleVersion":"42","releaseDate":"2020-01-02T03:04:05Z"})");
}

TEST(AppTable, MetadataInXmlFormParsesAndBrokenMetadataAddsNothing) {
  std::string xml = SerializePlist(Dict({{"itemName", Text("Xml")}}), PlistFormat::kXml).value();
  AppObject from_xml;
  EXPECT_TRUE(AddStoreMetadataBytes(xml, &from_xml));
  EXPECT_EQ(from_xml.Text("itemName"), "Xml");

  AppTable table;
  table.AddListed(Dict({{"CFBundleIdentifier", Text("com.example.a")}, {"iTunesMetadata", PlistValue::Data("junk")}}));
  EXPECT_EQ(table.apps()[0].ToJson(), R"({"CFBundleIdentifier":"com.example.a"})");
}

TEST(AppTable, SizesGoOnlyToListedAppsAndEntriesWithoutIdentifierAreDropped) {
  AppTable table;
  table.AddListed(Dict({{"CFBundleName", Text("no id")}}));
  table.AddListed(Dict({{"CFBundleIdentifier", Text("com.example.b")}}));
  table.AddListed(Dict({{"CFBundleIdentifier", Text("com.example.a")}}));
  table.AddSizes(Dict({{"CFBundleIdentifier", Text("com.example.late")}, {"StaticDiskUsage", PlistValue::Integer(1)}}));
  table.AddSizes(Dict({{"CFBundleIdentifier", Text("com.example.a")}, {"StaticDiskUsage", PlistValue::Integer(5)}}));
  ASSERT_EQ(table.apps().size(), 2u);
  EXPECT_EQ(table.apps()[0].ToJson(), R"({"CFBundleIdentifier":"com.example.b"})");
  EXPECT_EQ(table.apps()[1].ToJson(), R"({"CFBundleIdentifier":"com.example.a","app-size":5})");
}

TEST(AppTable, AnIdentifierListedTwiceIsOneApplication) {
  AppTable table;
  table.AddListed(Dict({{"CFBundleIdentifier", Text("com.example.a")}, {"CFBundleName", Text("First")}}));
  table.AddListed(Dict({{"CFBundleIdentifier", Text("com.example.a")},
                        {"CFBundleName", Text("Second")},
                        {"CFBundleVersion", Text("2")}}));
  ASSERT_EQ(table.apps().size(), 1u);
  EXPECT_EQ(table.apps()[0].ToJson(),
            R"({"CFBundleIdentifier":"com.example.a","CFBundleName":"First","CFBundleVersion":"2"})");
}

}  // namespace
