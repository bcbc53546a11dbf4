// The members corvane-host adds to a command's JSON, and the JSON it leaves alone.
#include "command_json.h"

#include <gtest/gtest.h>

namespace corvane_host {
namespace {

TEST(CommandJsonTest, AMemberIsAddedOnlyWhereAnObjectLacksIt) {
  EXPECT_EQ(WithStringMember(R"({"stage":1})", "uuid", "U\"1"), R"({"stage":1,"uuid":"U\"1"})");
  EXPECT_EQ(WithStringMember(R"({"uuid": "mine"})", "uuid", "U"), R"({"uuid": "mine"})");
  EXPECT_EQ(WithStringMember(R"({"uuid": 5})", "uuid", "U"), R"({"uuid": 5})");
  // Broken JSON and other values go out as typed, so faults can still be sent on purpose.
  EXPECT_EQ(WithStringMember(R"({"stage":)", "uuid", "U"), R"({"stage":)");
  EXPECT_EQ(WithStringMember("[1]", "uuid", "U"), "[1]");
  EXPECT_EQ(StringMember(R"({"uuid":"U"})", "uuid"), "U");
  EXPECT_EQ(StringMember(R"({"uuid":7})", "uuid"), std::nullopt);
  EXPECT_EQ(StringMember("oops", "uuid"), std::nullopt);
}

}  // namespace
}  // namespace corvane_host
