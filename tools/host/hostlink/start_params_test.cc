#include "hostlink/start_params.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace hostlink {
namespace {

TEST(StartParamsTest, DefaultsCarryEveryKeyWithTheListenersPortAndCallersPid) {
  StartParams params = StartParams::ForListener(4321);
  EXPECT_EQ(params.ToJson(),
            "{\"kZEBServerStartParamPort\":4321,\"kZEBServerStartParamPid\":" + std::to_string(getpid()) +
                ",\"kZEBServerStartParamShowConsole\":0,\"kZEBServerStartParamTestSelf\":0,"
                "\"kZEBServerStartParamOpenLog\":1,\"kZEBServerStartParamVersion\":\"1.0.0\","
                "\"kZEBServerStartParamBrand\":\"CorvaneHost\",\"kZEBServerStartParamProduct\":\"corvane-host\","
                "\"kZEBServerStartParamType\":0,\"kZEBServerStartParamTaskId\":\"1\","
                "\"kZEBServerStartParamLoadModules\":[]}");
}

TEST(StartParamsTest, SetConvertsByKeyAndAcceptsShortOrFullNames) {
  StartParams params;
  std::string error;
  ASSERT_TRUE(params.Set("task_id", "77", &error)) << error;
  ASSERT_TRUE(params.Set(kParamType, "2", &error)) << error;
  ASSERT_TRUE(params.Set("brand", "Some Brand", &error)) << error;
  ASSERT_TRUE(params.Set("load_modules", "/a,/b c", &error)) << error;
  EXPECT_EQ(params.task_id, "77");  // a string of digits, not a number
  EXPECT_EQ(params.type, 2);
  EXPECT_EQ(params.brand, "Some Brand");
  EXPECT_EQ(params.load_modules, (std::vector<std::string>{"/a", "/b c"}));
  ASSERT_TRUE(params.Set("load_modules", R"(["/x,y"])", &error)) << error;
  EXPECT_EQ(params.load_modules, (std::vector<std::string>{"/x,y"}));
  EXPECT_NE(params.ToJson().find(R"("kZEBServerStartParamTaskId":"77")"), std::string::npos);

  EXPECT_FALSE(params.Set("port", "12x", &error));
  EXPECT_FALSE(params.Set("colour", "1", &error));
  EXPECT_NE(error.find("colour"), std::string::npos);
}

TEST(StartParamsTest, KeysCanBeOmittedGivenRawValuesOrReplacedByRawText) {
  StartParams params = StartParams::ForListener(1);
  params.omitted = {kParamPid, kParamShowConsole, kParamTestSelf, kParamOpenLog, kParamVersion,
                    kParamBrand, kParamProduct, kParamType, kParamLoadModules};
  params.raw[kParamPort] = R"("1")";
  params.raw[kParamTaskId] = "12";
  params.raw["extra"] = "[true]";
  EXPECT_EQ(params.ToJson(),
            R"({"kZEBServerStartParamPort":"1","kZEBServerStartParamTaskId":12,"extra":[true]})");
  params.raw_text = "{not json";
  EXPECT_EQ(params.ToJson(), "{not json");
}

}  // namespace
}  // namespace hostlink
