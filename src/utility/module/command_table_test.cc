#include "utility/module/command_table.h"

#include <gtest/gtest.h>

#include <set>

#include "utility/module/control/zeb_module_control.h"

TEST(CommandTable, EveryPacketTypeHasExactlyOneOwner) {
  CommandMap map;
  std::string error;
  ASSERT_TRUE(BuildCommandMap(CommandRows(), &map, &error)) << error;
  size_t types = 0;
  for (const CommandRow& row : CommandRows()) types += row.last_type - row.first_type + 1;
  EXPECT_EQ(map.size(), types);
  EXPECT_NE(map.count(600), 0u);
  EXPECT_NE(map.count(1800), 0u);
}

TEST(CommandTable, ATypeClaimedTwiceIsRefused) {
  static ZEBModuleControl module;
  auto owner = []() -> ZEBModule& { return module; };
  const CommandRow clash[] = {{100, 106, owner}, {106, 106, owner}};
  CommandMap map;
  std::string error;
  EXPECT_FALSE(BuildCommandMap(clash, &map, &error));
  EXPECT_EQ(error, "packet type 106 has two owners");
}

TEST(CommandTable, SubCommandNamesAreUnique) {
  std::set<std::string> names;
  for (const SubCommandRow& row : SubCommandRows()) EXPECT_TRUE(names.insert(row.name).second) << row.name;
}
