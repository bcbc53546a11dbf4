// The thumbnail paths (legacy, Metadata, Thumbnails/V2), the refusal of paths that could leave the photo folders,
// and the search over a device that holds some of them.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "utility/module/photo/photo_thumbnails.h"

namespace {

TEST(ThumbnailPaths, TheLegacyPathOfAnExamplePhoto) {
  EXPECT_EQ(LegacyThumbnailPath("DCIM/100APPLE/IMG_0001.JPG", 1500000012),
            "/DCIM/.THMB/12/100APPLE___IMG_0001.JPG.1500000012");
  EXPECT_EQ(LegacyThumbnailPath("DCIM/100APPLE/IMG_0001.JPG", 1500000007),
            "/DCIM/.THMB/07/100APPLE___IMG_0001.JPG.1500000007");
}

TEST(ThumbnailPaths, EveryLegacyPrefixFlattensWhatFollowsIt) {
  EXPECT_EQ(LegacyThumbnailPath("PhotoData/Sync/100SYNCD/IMG_1.JPG", 100), "/DCIM/.THMB/00/100SYNCD___IMG_1.JPG.100");
  EXPECT_EQ(LegacyThumbnailPath("PhotoData/CPLAssets/group401/A.JPG", 1234),
            "/DCIM/.THMB/34/group401___A.JPG.1234");
  EXPECT_EQ(LegacyThumbnailPath("PhotoData/CMMAssets/x/y/B.MOV", 5), "/DCIM/.THMB/05/x___y___B.MOV.5");
  // DCIM/ is looked for first, wherever it stands.
  EXPECT_EQ(LegacyThumbnailPath("PhotoData/Sync/DCIM/C.JPG", 1), "/DCIM/.THMB/01/C.JPG.1");
  EXPECT_EQ(LegacyThumbnailPath("PhotoData/Mutations/C.JPG", 1), "");
}

TEST(ThumbnailPaths, FallbacksReplaceTheExtensionThenTryTheV2Folder) {
  EXPECT_EQ(FallbackThumbnailPaths("DCIM/100APPLE/IMG_0001.MOV"),
            (std::vector<std::string>{"/PhotoData/Metadata/DCIM/100APPLE/IMG_0001.JPG",
                                      "/PhotoData/Metadata/DCIM/100APPLE/IMG_0001.THM",
                                      "/PhotoData/Thumbnails/V2/DCIM/100APPLE/IMG_0001.MOV/5003.JPG"}));
  // A dot in a folder name is no extension.
  EXPECT_EQ(FallbackThumbnailPaths("DCIM/100.APPLE/IMG"),
            (std::vector<std::string>{"/PhotoData/Thumbnails/V2/DCIM/100.APPLE/IMG/5003.JPG"}));
}

TEST(ThumbnailPaths, PathsThatCouldLeaveThePhotoFoldersAreRefused) {
  EXPECT_TRUE(IsSafePhotoPath("DCIM/100APPLE/IMG_0001.JPG"));
  EXPECT_TRUE(IsSafePhotoPath("/DCIM/100APPLE/..IMG.JPG"));
  EXPECT_FALSE(IsSafePhotoPath("DCIM/../../Library/SMS/sms.db"));
  EXPECT_FALSE(IsSafePhotoPath(".."));
  EXPECT_FALSE(IsSafePhotoPath("DCIM/./x"));
  EXPECT_FALSE(IsSafePhotoPath("DCIM//x"));
  EXPECT_FALSE(IsSafePhotoPath("DCIM\\..\\x"));
  EXPECT_FALSE(IsSafePhotoPath(std::string("DCIM/a\0b", 8)));
  EXPECT_FALSE(IsSafePhotoPath(""));
}

TEST(ThumbnailInfo, ANumericIdentifierIsWrittenAsItIsAnyOtherAsAText) {
  EXPECT_EQ(ThumbnailInfo("17", "/DCIM/.THMB/12/a"), "{\"id\":17,\"path\":\"/DCIM/.THMB/12/a\"}");
  // Written unquoted, this identifier would add a member of its own.
  EXPECT_EQ(ThumbnailInfo("1,\"path\":\"x", "/p\"q"), "{\"id\":\"1,\\\"path\\\":\\\"x\",\"path\":\"/p\\\"q\"}");
}

class FakeDevice : public ThumbnailDevice {
 public:
  std::map<std::string, std::string> files;
  std::map<std::string, int64_t> times;
  std::set<std::string> asked;

  bool ModifyTime(const std::string& path, int64_t* seconds) override {
    asked.insert("stat " + path);
    auto it = times.find(path);
    if (it == times.end()) return false;
    *seconds = it->second;
    return true;
  }
  bool Download(const std::string& path, std::string* bytes) override {
    asked.insert(path);
    auto it = files.find(path);
    if (it == files.end()) return false;
    *bytes += it->second;
    return true;
  }
};

rapidjson::Document Block(const char* json) {
  rapidjson::Document block;
  block.Parse(json);
  return block;
}

TEST(SendThumbnails, EachPhotoGetsTheFirstThumbnailWithContent) {
  FakeDevice device;
  device.times["/DCIM/100APPLE/IMG_0001.JPG"] = 1500000012;
  device.files["/DCIM/.THMB/12/100APPLE___IMG_0001.JPG.1500000012"] = "legacy";
  device.times["/DCIM/100APPLE/IMG_0002.MOV"] = 1500000013;
  device.files["/PhotoData/Metadata/DCIM/100APPLE/IMG_0002.JPG"] = "";  // empty: not a thumbnail
  device.files["/PhotoData/Metadata/DCIM/100APPLE/IMG_0002.THM"] = "thm";
  device.files["/PhotoData/Thumbnails/V2/PhotoData/CPLAssets/g/C.HEIC/5003.JPG"] = "v2";
  std::vector<std::pair<std::string, std::string>> sent;
  rapidjson::Document block = Block(
      "{\"1\":\"DCIM/100APPLE/IMG_0001.JPG\",\"2\":\"DCIM/100APPLE/IMG_0002.MOV\","
      "\"3\":\"PhotoData/CPLAssets/g/C.HEIC\",\"4\":\"DCIM/100APPLE/IMG_0004.JPG\","
      "\"5\":\"DCIM/../../Library/SMS/sms.db\",\"6\":7}");
  int result = SendThumbnails(
      block, device, [&](const std::string& info, const std::string& bytes) { sent.emplace_back(info, bytes); },
      nullptr);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], std::make_pair(std::string("{\"id\":1,\"path\":\"/DCIM/.THMB/12/100APPLE___IMG_0001.JPG.1500000012\"}"),
                                    std::string("legacy")));
  EXPECT_EQ(sent[1].first, "{\"id\":2,\"path\":\"/PhotoData/Metadata/DCIM/100APPLE/IMG_0002.THM\"}");
  EXPECT_EQ(sent[2].second, "v2");
  // The refused path never reached the device in any form.
  for (const std::string& asked : device.asked) EXPECT_EQ(asked.find(".."), std::string::npos) << asked;
}

TEST(SendThumbnails, AStopBetweenThumbnailsEndsWithSix) {
  FakeDevice device;
  rapidjson::Document block = Block("{\"1\":\"DCIM/a.JPG\",\"2\":\"DCIM/b.JPG\"}");
  int calls = 0;
  EXPECT_EQ(SendThumbnails(block, device, [](const std::string&, const std::string&) {}, [&] { return ++calls > 1; }),
            6);
  EXPECT_EQ(calls, 2);
}

}  // namespace
