// The reports a listing makes: their stages, info and data, batch by batch, as the host reads them.
#include "utility/listing/listing_reporter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace {

struct Sent {
  int stage;
  std::string info;
  std::string data;
  std::string uuid;
  int type;
  bool operator==(const Sent&) const = default;
};

class ListingReporterTest : public ::testing::Test {
 protected:
  ListingReporter::Send Recorder() {
    return [this](const TaskReport& report) {
      sent_.push_back({report.stage, report.info, std::string(report.data), report.uuid, report.type});
    };
  }
  std::vector<std::string> Data() const {
    std::vector<std::string> data;
    for (const Sent& sent : sent_) {
      if (sent.stage == 2) data.push_back(sent.data);
    }
    return data;
  }
  static std::vector<std::string> Numbers(int n) {
    std::vector<std::string> items;
    for (int i = 1; i <= n; ++i) items.push_back(std::to_string(i));
    return items;
  }

  std::vector<Sent> sent_;
};

TEST_F(ListingReporterTest, ACountReportThenFullBatchesThenTheRest) {
  SendListing("U", {.shape = ListingOptions::Shape::kArray, .batch = 100}, Numbers(250), Recorder());
  ASSERT_EQ(sent_.size(), 4u);
  EXPECT_EQ(sent_[0], (Sent{1, "{\"Count\":250}", "", "U", 0}));
  std::vector<std::string> data = Data();
  EXPECT_EQ(data[0].substr(0, 7), "[1,2,3,");
  EXPECT_EQ(data[1].substr(0, 5), "[101,");
  EXPECT_EQ(data[2].substr(data[2].size() - 5), ",250]");
  for (size_t i = 1; i < sent_.size(); ++i) EXPECT_EQ(sent_[i].info, "") << "item reports carry no info";
}

TEST_F(ListingReporterTest, AnExactMultipleSendsNoEmptyBatchAndAnEmptyListOnlyItsCount) {
  SendListing("U", {.batch = 20}, Numbers(40), Recorder());
  EXPECT_EQ(Data().size(), 2u);
  sent_.clear();
  SendListing("U", {.batch = 20}, {}, Recorder());
  EXPECT_EQ(sent_, (std::vector<Sent>{{1, "{\"Count\":0}", "", "U", 0}}));
}

TEST_F(ListingReporterTest, EachItemAloneIsSentAsItsOwnJson) {
  SendListing("U", {.shape = ListingOptions::Shape::kEach}, {"{\"a\":1}", "{\"b\":2}"}, Recorder());
  EXPECT_EQ(Data(), (std::vector<std::string>{"{\"a\":1}", "{\"b\":2}"}));
}

TEST_F(ListingReporterTest, AnObjectMapHoldsItsItemsUnderTheirKeys) {
  ListingReporter reporter("U", {.shape = ListingOptions::Shape::kObjectMap, .batch = 2}, Recorder());
  reporter.SendCount(3);
  reporter.Add("id-1", "{\"n\":1}");
  reporter.Add("quote\"d", "{\"n\":2}");
  reporter.Add("id-3", "[]");
  reporter.Finish();
  reporter.Finish();  // nothing more pending: no report
  EXPECT_EQ(Data(), (std::vector<std::string>{"{\"id-1\":{\"n\":1},\"quote\\\"d\":{\"n\":2}}", "{\"id-3\":[]}"}));
}

TEST_F(ListingReporterTest, AnUnknownListAndTheCountOnEveryReport) {
  ListingReporter unknown("U", {}, Recorder());
  unknown.SendCount(-1);
  unknown.Finish();
  EXPECT_EQ(sent_, (std::vector<Sent>{{1, "{\"Count\":-1}", "", "U", 0}}));
  sent_.clear();
  SendListing("U", {.batch = 1, .type = 1, .count_on_items = true}, {"x", "y"}, Recorder());
  EXPECT_EQ(sent_, (std::vector<Sent>{{1, "{\"Count\":2}", "", "U", 1},
                                      {2, "{\"Count\":2}", "[x]", "U", 1},
                                      {2, "{\"Count\":2}", "[y]", "U", 1}}));
}

TEST_F(ListingReporterTest, ABatchOfZeroMeansOneItemPerReport) {
  SendListing("U", {.batch = 0}, Numbers(3), Recorder());
  EXPECT_EQ(Data(), (std::vector<std::string>{"[1]", "[2]", "[3]"}));
}

TEST_F(ListingReporterTest, StoredItemDataReachTheHostAsTheSameBytesWithoutDeflating) {
  std::vector<TaskReport> reports;
  std::vector<std::string> items(50, "{\"PATH\":\"DCIM/100APPLE/IMG_0001.JPG\",\"SIZE\":123456}");
  SendListing("U", {.batch = 50, .stored_data = true}, items, [&](const TaskReport& report) {
    reports.push_back(report);
    reports.back().data = {};
    std::string storage;
    std::string_view wire = BuildReportData(report, &storage);
    if (report.stage != 2) return;
    // Stored blocks cost five bytes each and the zlib frame six: no compression happened.
    EXPECT_GT(wire.size(), report.data.size());
    std::string inflated(report.data.size(), '\0');
    uLongf length = inflated.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(inflated.data()), &length,
                         reinterpret_cast<const Bytef*>(wire.data()), wire.size()),
              Z_OK);
    EXPECT_EQ(inflated, report.data);
  });
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_TRUE(reports[1].store_data);
}

}  // namespace
