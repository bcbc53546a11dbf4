#include "utility/module/app/app_messages.h"

#include <gtest/gtest.h>

#include "iOSAPI/plist_message.h"

namespace {

PlistValue Parse(const std::string& message) {
  PlistValue value;
  EXPECT_TRUE(ParseMessage(message.data(), message.size(), &value));
  return value;
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
