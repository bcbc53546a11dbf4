// The three photo queries as a plug-in reaches them in the real process: by name on the bus, with the query
// request as text, answered with the result document.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include "harness/corvane_harness.h"
#include "harness/plugin_folder.h"
#include "hostlink/zlib_codec.h"
#include "support/photo/photo_test_databases.h"

namespace e2e {
namespace {

class PhotoPluginQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string folder = corvane_.temp_dir() + "/plugins/TestPlugin";
    ASSERT_TRUE(AddPluginVersion(folder, "1.0"));
    corvane_.params().load_modules = {folder};
    ASSERT_TRUE(corvane_.Start());
    ASSERT_TRUE(corvane_.WaitForType(19));
    library_ = corvane_.temp_dir() + "/Photos.sqlite";
    std::string error;
    ASSERT_TRUE(WritePhotoLibrary(library_, PhotoLibrarySpec{.join_number = 27, .photos = 60, .albums = 4}, &error))
        << error;
  }
  // The plug-in's answer to the sub-command `name` with `request`.
  std::string Ask(uint64_t task, const std::string& name, const std::string& request) {
    EXPECT_TRUE(corvane_.host().SendCommand(task, 1800, R"({"type":0,"info":{"sub_command_type":"TEST_SUB_COMMAND"}})",
                                            hostlink::ZlibDeflate(name + "\n" + request)));
    auto result = corvane_.host().WaitFor([task](const hostlink::Report& r) { return r.task_id == task; }, 30s);
    return result ? result->data : std::string();
  }
  std::string Request(const std::string& extra = "") const {
    return "{\"path\":\"" + library_ + "\",\"productVersion\":\"15.7\"" + extra + "}";
  }

  CorvaneHarness corvane_;
  std::string library_;
};

TEST_F(PhotoPluginQueries, EachNameAnswersItsQuery) {
  rapidjson::Document roll;
  roll.Parse(Ask(41, "LIBPLATFORM_PHOTO_QUERY_CAMERA_ROLL_LIST", Request()).c_str());
  ASSERT_TRUE(roll.IsObject() && roll.HasMember("photos"));
  EXPECT_EQ(roll["photos"].Size(), 58u);  // 29 and 58 are in the trash
  EXPECT_EQ(roll["photos"][0]["Z_PK"].GetInt64(), 60);

  rapidjson::Document albums;
  albums.Parse(Ask(42, "LIBPLATFORM_PHOTO_QUERY_ALBUM_LIST", Request()).c_str());
  ASSERT_TRUE(albums.IsObject() && albums.HasMember("albums"));
  EXPECT_EQ(albums["albums"][0]["TITLE"], "Camera");  // the album of kind 1000 comes first

  rapidjson::Document album;
  album.Parse(Ask(43, "LIBPLATFORM_PHOTO_QUERY_PHOTO_FROM_ALBUM", Request(",\"albumId\":3,\"albumType\":0")).c_str());
  ASSERT_TRUE(album.IsObject() && album.HasMember("photos"));
  EXPECT_EQ(album["photos"].Size(), 14u);  // 2, 6, ... 58, less 58 in the trash
}

TEST_F(PhotoPluginQueries, ARequestWithoutADatabaseGetsNoDocument) {
  EXPECT_EQ(Ask(44, "LIBPLATFORM_PHOTO_QUERY_CAMERA_ROLL_LIST", "{\"productVersion\":\"15.7\"}"), "result:0");
  EXPECT_EQ(Ask(45, "LIBPLATFORM_PHOTO_QUERY_ALBUM_LIST", "not json"), "result:0");
}

}  // namespace
}  // namespace e2e
