// The photo queries as plug-ins reach them: by name on the plug-in service table, with the query request as text,
// answered with a document the caller owns, or with result 0 and the payload left as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>

#include "support/photo/photo_test_databases.h"
#include "utility/module/command_table.h"
#include "utility/module/photo/photo_query_test_support.h"
#include "utility/module/photo/zeb_module_photo.h"

namespace {

BASObserveData TextMessage(const std::string& text) {
  BASObserveData message{};
  message.payload_kind = kBASPayloadText;
  message.payload = text.data();
  message.payload_length = text.size();
  return message;
}

TEST(PhotoPluginQueries, TheThreeNamesAreOnThePluginServiceTable) {
  std::set<std::string> names;
  for (const SubCommandRow& row : SubCommandRows()) names.insert(row.name);
  EXPECT_EQ(names.count("LIBPLATFORM_PHOTO_QUERY_CAMERA_ROLL_LIST"), 1u);
  EXPECT_EQ(names.count("LIBPLATFORM_PHOTO_QUERY_ALBUM_LIST"), 1u);
  EXPECT_EQ(names.count("LIBPLATFORM_PHOTO_QUERY_PHOTO_FROM_ALBUM"), 1u);
}

TEST(PhotoPluginQueries, ARequestIsAnsweredWithADocumentTheCallerOwns) {
  std::string path = photo_test::TempFolder() + "/Photos.sqlite";
  std::string error;
  ASSERT_TRUE(WritePhotoLibrary(path, PhotoLibrarySpec{.join_number = 28, .photos = 40}, &error)) << error;
  std::string request = "{\"path\":\"" + path + "\",\"productVersion\":\"16.4.1\",\"albumId\":4,\"albumType\":0}";

  BASObserveData albums = TextMessage(request);
  ZEBModulePhoto::QueryAlbumList(&albums);
  ASSERT_EQ(albums.result, 1);
  ASSERT_EQ(albums.payload_kind, kBASPayloadJson);
  std::unique_ptr<const rapidjson::Document> album_list(static_cast<const rapidjson::Document*>(albums.payload));
  EXPECT_TRUE((*album_list)["albums"].IsArray());

  BASObserveData photos = TextMessage(request);
  ZEBModulePhoto::QueryPhotoFromAlbum(&photos);
  ASSERT_EQ(photos.result, 1);
  std::unique_ptr<const rapidjson::Document> album(static_cast<const rapidjson::Document*>(photos.payload));
  EXPECT_EQ((*album)["photos"].Size(), 8u);  // 3, 8, ... 38

  BASObserveData roll = TextMessage(request);
  ZEBModulePhoto::QueryCameraRollList(&roll);
  ASSERT_EQ(roll.result, 1);
  std::unique_ptr<const rapidjson::Document> camera_roll(static_cast<const rapidjson::Document*>(roll.payload));
  EXPECT_EQ((*camera_roll)["photos"].Size(), 39u);  // photo 29 is in the trash
}

TEST(PhotoPluginQueries, AnUnusableRequestLeavesThePayloadAsItWas) {
  std::string missing = photo_test::TempFolder() + "/Photos.sqlite";
  for (const std::string& text : {std::string("not json"), std::string("{\"productVersion\":\"16.4.1\"}"),
                                  std::string("{\"path\":\"/nonexistent/folder/Photos.sqlite\"}"),
                                  "{\"path\":\"" + missing + "\"}"}) {
    BASObserveData message = TextMessage(text);
    ZEBModulePhoto::QueryCameraRollList(&message);
    EXPECT_EQ(message.result, 0) << text;
    EXPECT_EQ(message.payload, text.data());
    EXPECT_EQ(message.payload_kind, kBASPayloadText);
  }
  EXPECT_FALSE(std::filesystem::exists(missing));  // no empty database left where none was
}

TEST(PhotoNamedOperations, ANameIsTakenOnce) {
  ZEBModulePhoto& module = ZEBModulePhoto::Get();
  EXPECT_TRUE(module.RegisterNamedOperation("photo-test-operation", [] { return true; }));
  EXPECT_FALSE(module.RegisterNamedOperation("photo-test-operation", [] { return false; }));
}

}  // namespace
