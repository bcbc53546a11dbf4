// The queries on generated libraries: join tables of any number, databases without the optional columns, the old
// shape of iOS 4 and 5, databases that fit no form, the listing's batches and its size lookup, and the result
// document the plug-ins receive.
#include <glog/logging.h>
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>

#include "support/photo/photo_test_databases.h"
#include "utility/module/photo/photo_document.h"
#include "utility/module/photo/photo_forms.h"
#include "utility/module/photo/photo_listing.h"
#include "utility/module/photo/photo_query_test_support.h"

namespace {

using namespace photo_test;

class LogCapture : public google::LogSink {
 public:
  LogCapture() { google::AddLogSink(this); }
  ~LogCapture() override { google::RemoveLogSink(this); }
  void send(google::LogSeverity, const char*, const char*, int, const google::LogMessageTime&, const char* message,
            size_t length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(message, length);
  }
  bool HasPrefix(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& line : lines_) {
      if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

std::string Library(const PhotoLibrarySpec& spec) {
  std::string path = TempFolder() + "/Photos.sqlite";
  std::string error;
  EXPECT_TRUE(WritePhotoLibrary(path, spec, &error)) << error;
  return path;
}

PhotoRequest Request(const std::string& path, const std::string& version, int64_t album = 0, int type = 0) {
  PhotoRequest request;
  request.path = path;
  request.product_version = version;
  request.album_id = album;
  request.album_type = type;
  return request;
}

std::map<int, int64_t> CountsByType(const std::vector<AlbumRecord>& albums) {
  std::map<int, int64_t> counts;
  for (const AlbumRecord& album : albums) counts[album.type] += album.count;
  return counts;
}

class JoinNumbers : public ::testing::TestWithParam<int> {};

TEST_P(JoinNumbers, TheJoinTableIsFoundWhateverItsNumber) {
  PhotoLibrarySpec spec;
  spec.join_number = GetParam();
  spec.photos = 290;
  spec.albums = 5;
  std::string path = Library(spec);
  PhotoForms forms;
  CollectingSink albums;
  ASSERT_EQ(forms.Run(PhotoQuery::kAlbumList, Request(path, "16.4.1"), albums), 0);
  // Albums 3 and 4 are user albums (1 has no title, 2 is in the trash), album 5 is of kind 1000.
  std::vector<std::pair<int, int64_t>> user;
  for (const AlbumRecord& album : albums.albums) {
    if (album.type <= 1) user.emplace_back(album.type, album.key);
  }
  EXPECT_EQ(user, (std::vector<std::pair<int, int64_t>>{{1, 5}, {0, 3}, {0, 4}}));
  CollectingSink photos;
  ASSERT_EQ(forms.Run(PhotoQuery::kAlbumPhotos, Request(path, "16.4.1", 3, 0), photos), 0);
  int64_t expected = Single(path, "SELECT count(*) FROM ZASSET WHERE Z_PK % 5 = 2 AND ZTRASHEDSTATE = 0");
  EXPECT_EQ(static_cast<int64_t>(photos.photos.size()), expected);
}

// Z_26ASSETS on iOS 13 and 14, Z_27 on 15, Z_28 on 16 and 17, higher later.
INSTANTIATE_TEST_SUITE_P(Ios, JoinNumbers, ::testing::Values(26, 27, 28, 31, 112));

TEST(MissingColumns, WithoutATrashColumnThereIsNoTrashClauseAndNoDeletedAlbum) {
  PhotoLibrarySpec spec;
  spec.asset_table = "ZGENERICASSET";
  spec.trashed_state = false;
  spec.photos = 100;
  std::string path = Library(spec);
  LogCapture log;
  PhotoForms forms;
  CollectingSink roll;
  ASSERT_EQ(forms.Run(PhotoQuery::kCameraRoll, Request(path, "12.4"), roll), 0);
  EXPECT_EQ(roll.photos.size(), 100u);  // photo 29 and 58 and 87 are not taken for deleted
  CollectingSink albums;
  ASSERT_EQ(forms.Run(PhotoQuery::kAlbumList, Request(path, "12.4"), albums), 0);
  std::map<int, int64_t> counts = CountsByType(albums.albums);
  EXPECT_EQ(counts.count(5), 0u);
  EXPECT_EQ(counts[2], 100 / 7);
  // The live photo and burst counts ask for the trash column unconditionally: they fail and are skipped.
  EXPECT_EQ(counts.count(7), 0u);
  EXPECT_TRUE(log.HasPrefix("GetAlbumListFromQueryDb_2 Fail:  SELECT count(0),0,'',0 FROM ZGENERICASSET WHERE "
                            "ZPLAYBACKSTYLE = 3"));
  CollectingSink deleted;
  ASSERT_EQ(forms.Run(PhotoQuery::kAlbumPhotos, Request(path, "12.4", 0, 5), deleted), 0);
  EXPECT_TRUE(deleted.photos.empty());
}

TEST(MissingColumns, WithoutFavoritesOrSubtypesThoseAlbumsAreLeftOut) {
  PhotoLibrarySpec spec;
  spec.favorite = false;
  spec.kind_subtype = false;
  std::string path = Library(spec);
  PhotoForms forms;
  CollectingSink albums;
  ASSERT_EQ(forms.Run(PhotoQuery::kAlbumList, Request(path, "14.1"), albums), 0);
  std::map<int, int64_t> counts = CountsByType(albums.albums);
  EXPECT_EQ(counts.count(2), 0u);
  EXPECT_EQ(counts.count(3), 0u);
  EXPECT_EQ(counts.count(4), 0u);
  EXPECT_EQ(counts[5], 100 / 29);
  EXPECT_EQ(counts[6], 5);  // 17, 34, 51, 68, 85
}

TEST(MissingColumns, NoFavoritesMeansACountOfZeroAndNoAlbum) {
  PhotoLibrarySpec spec;
  spec.photos = 6;  // the first favorite would be photo 7
  std::string path = Library(spec);
  PhotoForms forms;
  CollectingSink albums;
  ASSERT_EQ(forms.Run(PhotoQuery::kAlbumList, Request(path, "14.1"), albums), 0);
  EXPECT_EQ(CountsByType(albums.albums).count(2), 0u);
}

TEST(OldForm, AnIos5LibraryIsReadFromPhotoAndPhotoAlbum) {
  std::string path = TempFolder() + "/Photos.sqlite";
  std::string error;
  ASSERT_TRUE(WriteOldPhotoLibrary(path, 20, 3, &error)) << error;
  PhotoForms forms;
  CollectingSink roll;
  ASSERT_EQ(forms.Run(PhotoQuery::kCameraRoll, Request(path, "5.1.1"), roll), 0);
  ASSERT_EQ(roll.photos.size(), 20u);
  EXPECT_EQ(roll.photos[0].path, "DCIM/100APPLE/IMG_00001.JPG");
  EXPECT_EQ(roll.photos[0].date_created, 300000060);
  EXPECT_EQ(roll.photos[0].original_file_size, 0);
  CollectingSink albums;
  ASSERT_EQ(forms.Run(PhotoQuery::kAlbumList, Request(path, "5.1.1"), albums), 0);
  ASSERT_EQ(albums.albums.size(), 3u);
  EXPECT_EQ(albums.albums[0].type, 1);  // kind 1000 first
  EXPECT_EQ(albums.albums[0].key, 1);
  EXPECT_EQ(albums.albums[0].count, 6);  // photos 3, 6, ... 18
  EXPECT_EQ(albums.albums[1].title, "Album 2");
  CollectingSink photos;
  ASSERT_EQ(forms.Run(PhotoQuery::kAlbumPhotos, Request(path, "5.1.1", 2, 0), photos), 0);
  EXPECT_EQ(photos.photos.size(), 7u);  // 1, 4, ... 19
  EXPECT_EQ(forms.Remembered(PhotoQuery::kCameraRoll, "5.1.1"), &CameraRollOldForm);
}

TEST(OldForm, ANewerLibraryOnAnIos5VersionTextStillSettlesOnTheNewerForm) {
  std::string path = Library(PhotoLibrarySpec{.asset_table = "ZGENERICASSET", .photos = 10});
  PhotoForms forms;
  CollectingSink roll;
  ASSERT_EQ(forms.Run(PhotoQuery::kCameraRoll, Request(path, "5.1"), roll), 0);
  EXPECT_EQ(roll.photos.size(), 10u);
}

TEST(NoFittingForm, ALibraryWithoutAssetTablesEndsWithTheQueryCodesAndALogLine) {
  std::string path = TempFolder() + "/Photos.sqlite";
  // A database with a table, but none a photo query knows.
  IntegerRows(path, "CREATE TABLE ZMOMENT (Z_PK INTEGER PRIMARY KEY)");
  LogCapture log;
  PhotoForms forms;
  CollectingSink sink;
  EXPECT_EQ(forms.Run(PhotoQuery::kCameraRoll, Request(path, "16.4.1"), sink), 20);
  EXPECT_EQ(forms.Run(PhotoQuery::kAlbumList, Request(path, "16.4.1"), sink), 18);
  EXPECT_EQ(forms.Run(PhotoQuery::kAlbumPhotos, Request(path, "16.4.1", 1, 0), sink), 18);
  EXPECT_TRUE(log.HasPrefix("No album join table in "));
  EXPECT_TRUE(log.HasPrefix("No photo query form fits "));
  EXPECT_EQ(forms.Remembered(PhotoQuery::kCameraRoll, "16.4.1"), nullptr);
}

TEST(NoFittingForm, ACorruptLibraryEndsWith20) {
  std::string path = TempFolder() + "/Photos.sqlite";
  std::ofstream(path) << std::string(8192, 'x');
  LogCapture log;
  PhotoForms forms;
  CollectingSink sink;
  EXPECT_EQ(forms.Run(PhotoQuery::kCameraRoll, Request(path, "14.1"), sink), 20);
  EXPECT_TRUE(log.HasPrefix("OPEN STMT: " + path + " SQL:  SELECT sql from sqlite_master"));
}

TEST(NoFittingForm, AnUnknownVersionTextReadsTheOlderAssetTable) {
  std::string path = Library(PhotoLibrarySpec{.photos = 3});  // ZASSET
  PhotoForms forms;
  CollectingSink sink;
  EXPECT_EQ(forms.Run(PhotoQuery::kCameraRoll, Request(path, "banana"), sink), 20);
  EXPECT_EQ(forms.Run(PhotoQuery::kCameraRoll, Request(path, "99.0"), sink), 0);
}

TEST(NoFittingForm, AJoinTableWithoutAnAssetColumnIs18) {
  std::string path = Library(PhotoLibrarySpec{.photos = 3});
  IntegerRows(path, "DROP TABLE Z_26ASSETS");
  IntegerRows(path, "CREATE TABLE Z_26ASSETS (Z_26ALBUMS INTEGER, Z_FOK_3ASSETS INTEGER)");
  PhotoForms forms;
  CollectingSink sink;
  EXPECT_EQ(forms.Run(PhotoQuery::kAlbumList, Request(path, "14.1"), sink), 18);
  EXPECT_EQ(forms.Run(PhotoQuery::kAlbumPhotos, Request(path, "14.1", 1, 0), sink), 18);
}

struct SentReport {
  int stage;
  std::string info;
  std::string data;
};

TEST(PhotoListingBatches, ACameraRollOf1300PhotosArrivesAs600And600And100) {
  std::string path = Library(PhotoLibrarySpec{.trashed_state = false, .photos = 1300});
  PhotoForms forms;
  std::vector<std::string> looked_up;
  PhotoListing listing(
      [&](const std::string& photo_path, int64_t* size) {
        looked_up.push_back(photo_path);
        *size = 4242;
        return true;
      },
      nullptr);
  ASSERT_EQ(forms.Run(PhotoQuery::kCameraRoll, Request(path, "16.4.1"), listing), 0);
  std::vector<SentReport> sent;
  ListingOptions options;
  options.batch = kPhotosPerReport;
  ListingReporter reporter("U", options, [&](const TaskReport& report) {
    sent.push_back({report.stage, report.info, std::string(report.data)});
  });
  ASSERT_TRUE(listing.Replay(reporter));
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].info, "{\"Count\":1300}");
  std::vector<size_t> sizes;
  for (size_t i = 1; i < sent.size(); ++i) {
    rapidjson::Document batch;
    batch.Parse(sent[i].data.c_str());
    ASSERT_TRUE(batch.IsArray());
    sizes.push_back(batch.Size());
  }
  EXPECT_EQ(sizes, (std::vector<size_t>{600, 600, 100}));
  // Newest first: photo 1300 opens the first batch, with its members in their order.
  EXPECT_EQ(sent[1].data.substr(0, 100).find("[{\"PATH\":\"DCIM/100APPLE/IMG_01300.JPG\",\"Z_PK\":1300,"
                                             "\"ZSAVEDASSETTYPE\":256,\"ZORIENTATION\":5,"),
            0u);
  EXPECT_EQ(looked_up.size(), 1300u / 31);  // only the negative sizes
  EXPECT_NE(sent[1].data.find("\"Z_PK\":1271,"), std::string::npos);
  EXPECT_NE(sent[1].data.find("\"ZORIGINALFILESIZE\":4242}"), std::string::npos);
}

TEST(PhotoListingBatches, ANegativeSizeStaysWhenTheDeviceCannotTell) {
  std::string path = Library(PhotoLibrarySpec{.photos = 31});
  PhotoForms forms;
  CollectingSink sink;
  ASSERT_EQ(forms.Run(PhotoQuery::kCameraRoll, Request(path, "16.4.1"), sink), 0);
  EXPECT_EQ(sink.photos.front().original_file_size, -1);
}

TEST(PhotoListingBatches, AStopWhileTheQueryRunsEndsWith6) {
  std::string path = Library(PhotoLibrarySpec{.photos = 2000});
  PhotoForms forms;
  PhotoListing listing(nullptr, [] { return true; });
  EXPECT_EQ(forms.Run(PhotoQuery::kCameraRoll, Request(path, "16.4.1"), listing), 6);
}

TEST(PhotoDocument, PluginsGetTheObjectsInOneDocument) {
  std::string path = Library(PhotoLibrarySpec{.photos = 30, .photos_with_null_path = 2});
  PhotoForms forms;
  PhotoRequest request;
  ASSERT_TRUE(ParsePhotoRequest("{\"path\":\"" + path + "\",\"productVersion\":\"16.4.1\",\"albumId\":3,"
                                "\"albumType\":0}", &request));
  rapidjson::Document roll;
  ASSERT_EQ(QueryPhotoDocument(forms, PhotoQuery::kCameraRoll, request, &roll), 0);
  ASSERT_TRUE(roll["photos"].IsArray());
  EXPECT_EQ(roll["photos"].Size(), 29u);  // photo 29 is in the trash; the two rows without a file are no photos
  rapidjson::Document albums;
  ASSERT_EQ(QueryPhotoDocument(forms, PhotoQuery::kAlbumList, request, &albums), 0);
  EXPECT_EQ(std::string(albums["albums"][0].MemberBegin()->name.GetString()), "COUNT");
  rapidjson::Document album;
  ASSERT_EQ(QueryPhotoDocument(forms, PhotoQuery::kAlbumPhotos, request, &album), 0);
  EXPECT_EQ(album["photos"].Size(), 6u);  // 2, 7, 12, 17, 22, 27
  EXPECT_FALSE(ParsePhotoRequest("{\"productVersion\":\"16.4.1\"}", &request));
  EXPECT_FALSE(ParsePhotoRequest("[1]", &request));
}

}  // namespace
