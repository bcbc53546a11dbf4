#include "utility/module/app/app_answer_handler.h"

#include <gtest/gtest.h>

#include <vector>

#include "iOSAPI/plist_message.h"

namespace {

PlistValue Dict(PlistValue::Dict members) { return PlistValue::MakeDict(std::move(members)); }
std::string Wire(const PlistValue& value) { return SerializePlist(value, PlistFormat::kBinary).value(); }

struct Recorder {
  std::vector<int64_t> percents;
  std::vector<std::string> entries;
  std::vector<std::string> icons;
  AnswerSinks Sinks() {
    return {[this](const PlistValue& e) { entries.push_back(e.FindString("CFBundleIdentifier").value_or("?")); },
            [this](int64_t p) { percents.push_back(p); }, [this](const std::string& png) { icons.push_back(png); }};
  }
};

TEST(AppAnswerHandler, ProgressIsForwardedUntilComplete) {
  Recorder seen;
  AppAnswerHandler handler(seen.Sinks());
  EXPECT_TRUE(handler.Handle(Wire(Dict({{"PercentComplete", PlistValue::Integer(10)},
                                        {"Status", PlistValue::String("CreatingStagingDirectory")}}))));
  EXPECT_TRUE(handler.Handle(Wire(Dict({{"PercentComplete", PlistValue::Real(44.6)}}))));
  EXPECT_EQ(handler.end(), AppAnswerHandler::End::kOpen);
  EXPECT_FALSE(handler.Handle(Wire(Dict({{"Status", PlistValue::String("Complete")},
                                         {"PercentComplete", PlistValue::Integer(100)}}))));
  EXPECT_EQ(handler.end(), AppAnswerHandler::End::kComplete);
  EXPECT_EQ(seen.percents, (std::vector<int64_t>{10, 45}));
}

TEST(AppAnswerHandler, TheDevicesErrorEndsTheExchangeWithItsDescription) {
  Recorder seen;
  AppAnswerHandler handler(seen.Sinks());
  EXPECT_FALSE(handler.Handle(Wire(Dict({{"Error", PlistValue::String("LookupFailed")},
                                         {"ErrorDescription", PlistValue::String("not installed")}}))));
  EXPECT_EQ(handler.end(), AppAnswerHandler::End::kDeviceError);
  EXPECT_EQ(handler.error(), "LookupFailed");
  EXPECT_EQ(handler.error_description(), "not installed");
}

TEST(AppAnswerHandler, ListBatchesGoToTheTableAndTheExchangeContinues) {
  Recorder seen;
  AppAnswerHandler handler(seen.Sinks());
  PlistValue batch = Dict({{"CurrentList", PlistValue::MakeArray({Dict({{"CFBundleIdentifier", PlistValue::String("a")}}),
                                                                  PlistValue::String("not a dictionary"),
                                                                  Dict({{"CFBundleIdentifier", PlistValue::String("b")}})})},
                           {"Status", PlistValue::String("BrowsingApplications")}});
  EXPECT_TRUE(handler.Handle(Wire(batch)));
  EXPECT_TRUE(handler.Handle(Wire(Dict({{"Status", PlistValue::String("BrowsingApplications")}}))));
  EXPECT_FALSE(handler.Handle(Wire(Dict({{"Status", PlistValue::String("Complete")}}))));
  EXPECT_EQ(seen.entries, (std::vector<std::string>{"a", "b"}));
}

TEST(AppAnswerHandler, AnIconAnswerEndsTheExchange) {
  Recorder seen;
  AppAnswerHandler handler(seen.Sinks(), /*single_answer=*/true);
  EXPECT_FALSE(handler.Handle(Wire(Dict({{"pngData", PlistValue::Data(std::string("\x89PNG\0\1", 6))}}))));
  EXPECT_EQ(handler.end(), AppAnswerHandler::End::kIcon);
  ASSERT_EQ(seen.icons.size(), 1u);
  EXPECT_EQ(seen.icons[0], std::string("\x89PNG\0\1", 6));
}

TEST(AppAnswerHandler, ASingleAnswerExchangeEndsEvenWithoutAnIcon) {
  Recorder seen;
  AppAnswerHandler handler(seen.Sinks(), /*single_answer=*/true);
  EXPECT_FALSE(handler.Handle(Wire(Dict({{"unexpected", PlistValue::Integer(1)}}))));
  EXPECT_EQ(handler.end(), AppAnswerHandler::End::kSingleAnswer);
  EXPECT_TRUE(seen.icons.empty());
}

TEST(AppAnswerHandler, AnUnreadableMessageEndsTheExchange) {
  Recorder seen;
  AppAnswerHandler handler(seen.Sinks());
  EXPECT_FALSE(handler.Handle("definitely not a property list"));
  EXPECT_EQ(handler.end(), AppAnswerHandler::End::kUnreadable);
}

TEST(AppAnswerHandler, OtherMessagesAskForTheNext) {
  Recorder seen;
  AppAnswerHandler handler(seen.Sinks());
  EXPECT_TRUE(handler.Handle(Wire(Dict({{"Status", PlistValue::String("InstallingApplication")}}))));
  EXPECT_TRUE(handler.Handle(Wire(PlistValue::MakeArray())));
  EXPECT_EQ(handler.end(), AppAnswerHandler::End::kOpen);
}

}  // namespace
