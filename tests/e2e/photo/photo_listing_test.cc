// Camera roll (400), album list (401) and album photos (402) through the real process against the simulated phone
// with the real libraries of iOS 13.4.1 and 14.1 and a generated one: every object arrives, in batches of at most
// 600 photos or 100 albums, exactly as the query gives it; the copy of the library is reused until a refresh.
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <filesystem>

#include "photo/photo_scenario.h"
#include "support/photo/photo_test_databases.h"
#include "utility/module/photo/photo_document.h"

namespace e2e {
namespace {

// What the host should receive: the query's own result on a copy of the same library, object by object.
std::vector<std::string> Expected(const std::string& library, const std::string& version, PhotoQuery query,
                                  int64_t album_id = 0, int album_type = 0) {
  std::string copy = library + ".expected";
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::filesystem::remove(copy + suffix);
    if (std::filesystem::exists(library + suffix)) std::filesystem::copy_file(library + suffix, copy + suffix);
  }
  PhotoForms forms;
  PhotoRequest request{copy, version, album_id, album_type};
  rapidjson::Document result;
  EXPECT_EQ(QueryPhotoDocument(forms, query, request, &result), 0);
  std::vector<std::string> objects;
  const rapidjson::Value& list = result[query == PhotoQuery::kAlbumList ? "albums" : "photos"];
  for (const rapidjson::Value& object : list.GetArray()) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    object.Accept(writer);
    objects.emplace_back(buffer.GetString(), buffer.GetSize());
  }
  return objects;
}

struct RealLibrary {
  const char* folder;
  const char* version;
};

void PrintTo(const RealLibrary& library, std::ostream* out) { *out << library.folder; }

class RealPhotoLibrary : public PhotoScenario, public ::testing::WithParamInterface<RealLibrary> {
 protected:
  void SetUp() override {
    library_ = TempFolder("library") + "/Photos.sqlite";
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::filesystem::copy_file(std::string(CORVANE_PHOTO_FIXTURES) + "/" + GetParam().folder + "/Photos.sqlite" +
                                     suffix,
                                 library_ + suffix);
    }
    AddLibrary(library_, GetParam().version);
    ASSERT_TRUE(Start());
  }
  std::string library_;
};

TEST_P(RealPhotoLibrary, TheCameraRollArrivesWholeAfterItsCount) {
  PhotoRun run = Command(400, "{\"refresh\":0}");
  ASSERT_EQ(run.code(), 0);
  std::vector<size_t> batches;
  std::vector<std::string> objects = run.Objects(&batches);
  EXPECT_EQ(objects, Expected(library_, GetParam().version, PhotoQuery::kCameraRoll));
  EXPECT_EQ(run.Count(), static_cast<int64_t>(objects.size()));
  EXPECT_GT(objects.size(), 50u);
  for (size_t size : batches) EXPECT_LE(size, 600u);
  EXPECT_EQ(run.reports.front().stage, 1);
  EXPECT_EQ(run.reports.front().packet_type, 400u);
  EXPECT_EQ(run.final_report->uuid, kPhotoPhoneUdid);
}

TEST_P(RealPhotoLibrary, EveryListedAlbumOpensWithThePhotosItCounts) {
  PhotoRun albums = Command(401, "{\"refresh\":0}");
  ASSERT_EQ(albums.code(), 0);
  std::vector<std::string> objects = albums.Objects();
  ASSERT_EQ(objects, Expected(library_, GetParam().version, PhotoQuery::kAlbumList));
  ASSERT_FALSE(objects.empty());
  for (const std::string& text : objects) {
    rapidjson::Document album;
    album.Parse(text.c_str());
    int64_t id = album["Z_PK"].GetInt64();
    int type = album["TYPE"].GetInt();
    PhotoRun photos = Command(402, "{\"refresh\":0,\"album_id\":" + std::to_string(id) + ",\"album_type\":" +
                                       std::to_string(type) + "}");
    ASSERT_EQ(photos.code(), 0) << text;
    EXPECT_EQ(photos.Count(), album["COUNT"].GetInt64()) << text;
    EXPECT_EQ(photos.Objects(), Expected(library_, GetParam().version, PhotoQuery::kAlbumPhotos, id, type)) << text;
  }
}

TEST_P(RealPhotoLibrary, AnUnknownAlbumTypeIs21) {
  EXPECT_EQ(Command(402, "{\"album_id\":1,\"album_type\":9}").code(), 21);
}

TEST_P(RealPhotoLibrary, TheCopyIsReusedUntilARefreshAsksForANewOne) {
  ASSERT_EQ(Command(401, "{\"refresh\":0}").code(), 0);
  std::filesystem::remove(AfcFolder() + "/PhotoData/Photos.sqlite");
  EXPECT_EQ(Command(400, "{\"refresh\":0}").code(), 0);
  EXPECT_EQ(Command(400, "{\"refresh\":1}").code(), 18);
}

INSTANTIATE_TEST_SUITE_P(Ios, RealPhotoLibrary,
                         ::testing::Values(RealLibrary{"ios-13.4.1", "13.4.1"}, RealLibrary{"ios-14.1", "14.1"}),
                         [](const auto& info) { return std::string(info.param.version == std::string("14.1") ? "Ios14" : "Ios13"); });

class GeneratedPhotoLibrary : public PhotoScenario {};

TEST_F(GeneratedPhotoLibrary, ACameraRollOf1300ComesAs600And600And100WithTheDevicesSizes) {
  std::string library = TempFolder("library") + "/Photos.sqlite";
  std::string error;
  ASSERT_TRUE(WritePhotoLibrary(library, PhotoLibrarySpec{.join_number = 28, .trashed_state = false, .photos = 1300},
                                &error))
      << error;
  AddLibrary(library, "16.4.1");
  ASSERT_TRUE(Start());
  PhotoRun run = Command(400, "{\"refresh\":1}");
  ASSERT_EQ(run.code(), 0);
  std::vector<size_t> batches;
  std::vector<std::string> objects = run.Objects(&batches);
  EXPECT_EQ(run.Count(), 1300);
  EXPECT_EQ(batches, (std::vector<size_t>{600, 600, 100}));
  ASSERT_EQ(objects.size(), 1300u);
  for (const std::string& text : objects) {
    rapidjson::Document photo;
    photo.Parse(text.c_str());
    int64_t key = photo["Z_PK"].GetInt64();
    // The library says -1 for every 31st photo: the device's own file size replaces it.
    int64_t size = key % 31 == 0 ? ScenarioFileSize(key) : 1000 + key;
    EXPECT_EQ(photo["ZORIGINALFILESIZE"].GetInt64(), size) << text;
  }
}

TEST_F(GeneratedPhotoLibrary, AnIos5PhoneIsReadInTheOldForm) {
  std::string library = TempFolder("library") + "/Photos.sqlite";
  std::string error;
  ASSERT_TRUE(WriteOldPhotoLibrary(library, 20, 3, &error)) << error;
  AddLibrary(library, "5.1.1");
  ASSERT_TRUE(Start());
  PhotoRun roll = Command(400, "{\"refresh\":0}");
  ASSERT_EQ(roll.code(), 0);
  EXPECT_EQ(roll.Count(), 20);
  EXPECT_EQ(roll.Objects(), Expected(library, "5.1.1", PhotoQuery::kCameraRoll));
  PhotoRun albums = Command(401, "{\"refresh\":0}");
  ASSERT_EQ(albums.code(), 0);
  EXPECT_EQ(albums.Objects(), Expected(library, "5.1.1", PhotoQuery::kAlbumList));
  EXPECT_EQ(albums.Count(), 3);
  PhotoRun album = Command(402, "{\"album_id\":2,\"album_type\":0}");
  ASSERT_EQ(album.code(), 0);
  EXPECT_EQ(album.Count(), 7);
}

TEST_F(GeneratedPhotoLibrary, APhoneWithoutALibraryAnswers18) {
  phone_.SetProductVersion("16.4.1");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Command(400, "{\"refresh\":0}").code(), 18);
  EXPECT_EQ(Command(401, "{\"refresh\":0}").code(), 18);
}

}  // namespace
}  // namespace e2e

namespace e2e {
namespace {

// The ready profile people and the demo use: its photo library lists its DCIM photos with their albums.
class ReadyProfile : public PhotoScenario {
 protected:
  static constexpr char kUdid[] = "00008110-001A2D3C0E38801E";
  void SetUp() override {
    std::string folder = corvane_.ProfileFolder("iphone-current");
    std::filesystem::create_directories(folder);
    std::filesystem::copy(std::string(CORVANE_SOURCE_DIR) + "/tools/devicesim/profiles/iphone-current", folder,
                          std::filesystem::copy_options::recursive);
    std::string error;
    ASSERT_TRUE(corvane_.simulator().AddProfile(folder, true, &error)) << error;
    ASSERT_TRUE(corvane_.StartWithDevices());
    ASSERT_TRUE(corvane_.WaitForDeviceReady(kUdid));
  }
  PhotoRun Run(uint32_t type, const std::string& info, const std::string& data = "") {
    uint64_t task = ++next_task_;
    PhotoRun run;
    run.final_report =
        corvane_.Run(task, type, std::string("{\"uuid\":\"") + kUdid + "\",\"info\":" + info + "}", data, 60s);
    run.reports = corvane_.TakeReportsOf(task);
    return run;
  }
};

TEST_F(ReadyProfile, ListsItsPhotosAlbumsAndThumbnails) {
  PhotoRun roll = Run(400, "{\"refresh\":0}");
  ASSERT_EQ(roll.code(), 0);
  std::vector<int64_t> keys;
  for (const std::string& text : roll.Objects()) {
    rapidjson::Document photo;
    photo.Parse(text.c_str());
    keys.push_back(photo["Z_PK"].GetInt64());
    // The library does not know the screenshot's size; the device does.
    if (keys.back() == 4) {
      EXPECT_EQ(photo["ZORIGINALFILESIZE"].GetInt64(), 136);
    }
  }
  EXPECT_EQ(keys, (std::vector<int64_t>{4, 2, 1}));  // newest first; photo 3 is in the trash

  PhotoRun albums = Run(401, "{\"refresh\":0}");
  ASSERT_EQ(albums.code(), 0);
  std::vector<std::string> listed;
  for (const std::string& text : albums.Objects()) {
    rapidjson::Document album;
    album.Parse(text.c_str());
    listed.push_back(std::to_string(album["TYPE"].GetInt()) + " " + album["TITLE"].GetString() + " " +
                     std::to_string(album["COUNT"].GetInt64()));
  }
  EXPECT_EQ(listed, (std::vector<std::string>{"1 Camera 3", "2  1", "3  1", "4  1", "5  1", "0 Harbour 2",
                                              "0 Screens 1"}));

  PhotoRun thumbnails = Run(403, "{}", Compressed(R"({"1":"DCIM/100APPLE/IMG_0001.PNG","4":"DCIM/101APPLE/IMG_0104.PNG"})"));
  ASSERT_EQ(thumbnails.code(), 0);
  ASSERT_EQ(thumbnails.reports.size(), 2u);
  EXPECT_EQ(thumbnails.reports[1].info, R"({"id":4,"path":"/PhotoData/Thumbnails/V2/DCIM/101APPLE/IMG_0104.PNG/5003.JPG"})");
  EXPECT_EQ(thumbnails.reports[1].data.substr(0, 2), "\xFF\xD8");  // a JPEG
}

}  // namespace
}  // namespace e2e
