#include "utility/module/app/app_reports.h"

#include <gtest/gtest.h>

namespace {

constexpr char kUuid[] = "00008030-001A2B3C4D5E602E";

TEST(AppReports, TheCountIsWrittenExactly) {
  TaskReport count = CountReport(kUuid, 3);
  EXPECT_EQ(count.stage, 1);
  EXPECT_EQ(count.info, "{\"Count\":3}");
  EXPECT_EQ(count.uuid, kUuid);
  EXPECT_EQ(CountReport(kUuid, 0).info, "{\"Count\":0}");
}

TEST(AppReports, DataReportsCarryJsonCompressedAndImagesRaw) {
  TaskReport app = AppObjectReport(kUuid, "{\"CFBundleIdentifier\":\"a\"}");
  EXPECT_EQ(app.stage, 2);
  EXPECT_EQ(app.type, 0);
  EXPECT_TRUE(app.info.empty());
  EXPECT_EQ(app.data, "{\"CFBundleIdentifier\":\"a\"}");

  TaskReport icon = IconReport(kUuid, "com.example.\"q\"", "\x89PNG");
  EXPECT_EQ(icon.type, 1);
  EXPECT_EQ(icon.info, R"({"bundle_id":"com.example.\"q\""})");
  EXPECT_EQ(icon.data, "\x89PNG");

  TaskReport store = StoreIconReport(kUuid, "a", "file:///x.png", "img");
  EXPECT_EQ(store.type, 1);
  EXPECT_EQ(store.info, R"({"bundle_id":"a","url":"file:///x.png"})");

  TaskReport info = PackageInfoReport(kUuid, "a", "/home/u/A.ipa", "{}");
  EXPECT_EQ(info.type, 0);
  EXPECT_EQ(info.info, R"({"bundle_id":"a","package":"/home/u/A.ipa"})");
  EXPECT_EQ(info.data, "{}");
}

TEST(AppReports, ProgressAndOutcomes) {
  EXPECT_EQ(ProgressReport(kUuid, "a", 40).info, R"({"bundle_id":"a","percent":40})");
  EXPECT_EQ(OutcomeReport(kUuid, {.bundle_id = "a", .complete = true}).info, R"({"bundle_id":"a","complete":true})");
  EXPECT_EQ(OutcomeReport(kUuid, {.bundle_id = "a", .package = "/p.ipa", .complete = true}).info,
            R"({"bundle_id":"a","package":"/p.ipa","complete":true})");
  EXPECT_EQ(OutcomeReport(kUuid, {.bundle_id = "a", .error = "LookupFailed", .description = "not here"}).info,
            R"({"bundle_id":"a","complete":false,"error":"LookupFailed","description":"not here"})");
  EXPECT_EQ(OutcomeReport(kUuid, {.package = "/bad.ipa", .error = "PackageUnreadable"}).info,
            R"({"package":"/bad.ipa","complete":false,"error":"PackageUnreadable"})");
  EXPECT_EQ(OutcomeReport(kUuid, {.bundle_id = "a"}).stage, 2);
}

}  // namespace
