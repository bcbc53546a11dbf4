// Version comparison, the order in which the query forms are tried, and the asset table a version gets.
#include <gtest/gtest.h>

#include "utility/module/photo/photo_version.h"

namespace {

TEST(PhotoVersion, ComparesNumberByNumberAndTheShorterTextIsSmaller) {
  EXPECT_LT(CompareVersions("9.3.2", "14"), 0);
  EXPECT_LT(CompareVersions("13.4.1", "14"), 0);
  EXPECT_GT(CompareVersions("14.1", "14"), 0);
  EXPECT_EQ(CompareVersions("14", "14"), 0);
  EXPECT_LT(CompareVersions("9", "9.3"), 0);
  EXPECT_GT(CompareVersions("10.0", "9.3"), 0);  // numbers, not texts
  EXPECT_LT(CompareVersions("", "4"), 0);
  // An absurdly long part saturates rather than wrapping round to a small number.
  EXPECT_GT(CompareVersions("99999999999999999999999", "14"), 0);
}

TEST(PhotoVersion, CandidatesPutTheOldestFormFirstAndTheNewestSecond) {
  EXPECT_EQ(CandidateVersionKeys("13.4.1"), (std::vector<int>{4, 14, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
  EXPECT_EQ(CandidateVersionKeys("9.3"), (std::vector<int>{4, 10, 11, 12, 13, 14, 5, 6, 7, 8, 9}));
  EXPECT_EQ(CandidateVersionKeys("16.4.1"), (std::vector<int>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
  EXPECT_EQ(CandidateVersionKeys("5.1"), (std::vector<int>{4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 5}));
}

TEST(PhotoVersion, AKeyEqualToTheWholeTextGoesFirst) {
  EXPECT_EQ(CandidateVersionKeys("14"), (std::vector<int>{14, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
  EXPECT_EQ(CandidateVersionKeys("4"), (std::vector<int>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
}

TEST(PhotoVersion, AnUnknownOrEmptyVersionStillTriesEveryKey) {
  EXPECT_EQ(CandidateVersionKeys("").size(), 11u);
  EXPECT_EQ(CandidateVersionKeys("banana").size(), 11u);
  EXPECT_EQ(CandidateVersionKeys("3.1.3").front(), 4);
}

TEST(PhotoVersion, ZassetFromIos14On) {
  EXPECT_EQ(AssetTableFor("13.4.1"), "ZGENERICASSET");
  EXPECT_EQ(AssetTableFor("9.3.2"), "ZGENERICASSET");
  EXPECT_EQ(AssetTableFor("14"), "ZASSET");
  EXPECT_EQ(AssetTableFor("14.1"), "ZASSET");
  EXPECT_EQ(AssetTableFor("17.2"), "ZASSET");
}

}  // namespace
