#include "utility/module/app/app_messages.h"

#include <gtest/gtest.h>

#include "iOSAPI/plist_message.h"

namespace {

PlistValue Parse(const std::string& message) {
  PlistValue value;
  EXPECT_TRUE(ParseMessage(message.data(), message.size(), &value));
  return value;
}

TEST(AppMessages, MessagesAreBinaryPropertyLists) {
  for (const std::string& message : {ListMessage(), ListSizesMessage(), IconMessage("a"), InstallMessage("p"),
                                     UninstallMessage("a"), ArchiveMessage("a")}) {
    EXPECT_TRUE(message.starts_with("bplist00"));
  }
}

TEST(AppMessages, TheTwoListPassesAskForTheirAttributes) {
  PlistValue list = Parse(ListMessage());
  EXPECT_EQ(list.FindString("Command"), "Browse");
  const PlistValue* options = list.FindDict("ClientOptions");
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->FindString("ApplicationType"), "User");
  ASSERT_NE(options->FindArray("ReturnAttributes"), nullptr);
  EXPECT_EQ(options->FindArray("ReturnAttributes")->array().size(), 9u);

  PlistValue sizes_message = Parse(ListSizesMessage());
  const PlistValue* sizes = sizes_message.FindDict("ClientOptions");
  ASSERT_NE(sizes, nullptr);
  const PlistValue::Array& attributes = sizes->FindArray("ReturnAttributes")->array();
  ASSERT_EQ(attributes.size(), 3u);
  EXPECT_EQ(attributes[1].Text(), "DynamicDiskUsage");
  EXPECT_EQ(attributes[2].Text(), "StaticDiskUsage");
}

TEST(AppMessages, ValuesWithXmlSpecialCharactersArriveUnchanged) {
  const std::string id = "com.example.<dict>&amp;\"'</string>";
  PlistValue uninstall = Parse(UninstallMessage(id));
  EXPECT_EQ(uninstall.FindString("ApplicationIdentifier"), id);
  EXPECT_EQ(uninstall.FindString("Command"), "Uninstall");
  EXPECT_EQ(uninstall.dict().size(), 2u);

  PlistValue install = Parse(InstallMessage("general_storage/" + id + ".ipa"));
  EXPECT_EQ(install.FindString("PackagePath"), "general_storage/" + id + ".ipa");
  EXPECT_EQ(install.FindString("Command"), "Upgrade");

  EXPECT_EQ(Parse(ArchiveMessage(id)).FindString("Command"), "Archive");
  PlistValue icon = Parse(IconMessage(id));
  EXPECT_EQ(icon.FindString("bundleId"), id);
  EXPECT_EQ(icon.FindString("command"), "getIconPNGData");
}

}  // namespace
