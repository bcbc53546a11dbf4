#include "utility/start_params.h"

#include <gtest/gtest.h>

TEST(StartParams, ReadsEveryKeyInAnyOrder) {
  StartParams params;
  ASSERT_TRUE(ParseStartParams(
      R"({"kZEBServerStartParamLoadModules":["/p/a","/p/b"],"kZEBServerStartParamPort":4123,)"
      R"("kZEBServerStartParamPid":9000000000,"kZEBServerStartParamShowConsole":1,"kZEBServerStartParamTestSelf":0,)"
      R"("kZEBServerStartParamOpenLog":7,"kZEBServerStartParamType":2,"kZEBServerStartParamVersion":"1.2",)"
      R"("kZEBServerStartParamBrand":"Brand","kZEBServerStartParamProduct":"Prod","kZEBServerStartParamTaskId":"18446744073709551615"})",
      &params));
  EXPECT_EQ(params.port, 4123);
  EXPECT_EQ(params.host_pid, 9000000000);
  EXPECT_TRUE(params.show_console);
  EXPECT_FALSE(params.test_self);
  EXPECT_TRUE(params.open_log);
  EXPECT_EQ(params.helper_type, 2);
  EXPECT_EQ(params.version, "1.2");
  EXPECT_EQ(params.brand, "Brand");
  EXPECT_EQ(params.product, "Prod");
  EXPECT_EQ(params.load_modules, (std::vector<std::string>{"/p/a", "/p/b"}));
  EXPECT_EQ(TaskIdNumber(params.task_id), 18446744073709551615ull);
}

TEST(StartParams, MalformedTextLeavesEverythingAtZero) {
  StartParams params;
  params.port = 5;
  EXPECT_FALSE(ParseStartParams("{\"kZEBServerStartParamPort\":5", &params));
  EXPECT_EQ(params.port, 0);
  EXPECT_FALSE(ParseStartParams("[1,2]", &params));
  EXPECT_FALSE(ParseStartParams("", &params));
  EXPECT_TRUE(params.brand.empty());
}

TEST(StartParams, MissingAndMistypedMembersAreZero) {
  StartParams params;
  ASSERT_TRUE(ParseStartParams(R"({"kZEBServerStartParamPort":"80","kZEBServerStartParamBrand":3})", &params));
  EXPECT_EQ(params.port, 0);
  EXPECT_EQ(params.brand, "");
  EXPECT_EQ(params.host_pid, 0);
  EXPECT_TRUE(params.load_modules.empty());
  EXPECT_EQ(TaskIdNumber("12x"), 12u);  // read as far as it is decimal, like strtoull
  EXPECT_EQ(TaskIdNumber("x12"), 0u);
  EXPECT_EQ(TaskIdNumber(""), 0u);
}
