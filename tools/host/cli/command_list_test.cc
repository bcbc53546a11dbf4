// The command list against the README's command table and --help, so the three never drift apart.
#include "command_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "options.h"

namespace corvane_host {
namespace {

// The README's table under "## Commands": from its header line to the first line that is not a table row.
std::string ReadmeCommandTable() {
  std::ifstream in(CORVANE_SOURCE_DIR "/README.md");
  std::string line;
  std::string table;
  bool in_section = false;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) in_section = line == "## Commands";
    if (!in_section) continue;
    if (line.rfind("|", 0) == 0) {
      table += line + "\n";
    } else if (!table.empty()) {
      break;
    }
  }
  return table;
}

TEST(CommandListTest, ReadmeTableIsTheOneTheListMakes) {
  std::string readme = ReadmeCommandTable();
  ASSERT_FALSE(readme.empty()) << "no table under \"## Commands\" in README.md";
  EXPECT_EQ(readme, CommandTableMarkdown())
      << "README.md's command table and tools/host/cli/command_list.cc differ; the table the list makes is:\n"
      << CommandTableMarkdown();
}

TEST(CommandListTest, HelpNamesEveryCommandAndTypesNeverHaveTwoRows) {
  std::string help = UsageText();
  uint32_t previous_last = 0;
  for (const CommandInfo& command : CommandList()) {
    EXPECT_NE(help.find(TypesText(command) + " "), std::string::npos) << TypesText(command);
    EXPECT_NE(help.find(command.name), std::string::npos) << command.name;
    EXPECT_LE(command.first_type, command.last_type);
    EXPECT_GT(command.first_type, previous_last) << "rows out of order or overlapping at " << command.first_type;
    previous_last = command.last_type;
    EXPECT_EQ(FindCommand(command.first_type), &command);
    EXPECT_EQ(FindCommand(command.last_type), &command);
  }
  EXPECT_EQ(FindCommand(0), nullptr);
  EXPECT_EQ(FindCommand(9999), nullptr);
}

TEST(CommandListTest, TypesTextJoinsTwoTypesAndSpansLongerRanges) {
  EXPECT_EQ(TypesText(CommandInfo{300, 300, "", "", true}), "300");
  EXPECT_EQ(TypesText(CommandInfo{505, 506, "", "", true}), "505, 506");
  EXPECT_EQ(TypesText(CommandInfo{1000, 1013, "", "", true}), "1000-1013");
}

}  // namespace
}  // namespace corvane_host
