// The three queries on the real libraries of iOS 13.4.1 (ZGENERICASSET) and iOS 14.1 (ZASSET), held against
// plain SQL written independently of the queries: which photos, in which order, with which sizes; which albums
// with which counts; which photos in each album.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "utility/module/photo/photo_forms.h"
#include "utility/module/photo/photo_query_test_support.h"

namespace {

using namespace photo_test;

struct RealLibrary {
  const char* folder;
  const char* version;
  const char* assets;
  const char* join;          // as the library's own schema names it
  const char* album_column;
  const char* asset_column;
};

const RealLibrary kLibraries[] = {
    {"ios-13.4.1", "13.4.1", "ZGENERICASSET", "Z_26ASSETS", "Z_26ALBUMS", "Z_34ASSETS"},
    {"ios-14.1", "14.1", "ZASSET", "Z_26ASSETS", "Z_26ALBUMS", "Z_3ASSETS"},
};

void PrintTo(const RealLibrary& library, std::ostream* out) { *out << library.folder; }

class RealLibraryTest : public ::testing::TestWithParam<RealLibrary> {
 protected:
  void SetUp() override {
    request_.path = CopyRealLibrary(GetParam().folder);
    request_.product_version = GetParam().version;
  }
  std::string Assets() const { return GetParam().assets; }
  // The keys of the photos (with a path) that satisfy `condition`, sorted.
  std::vector<int64_t> Keys(const std::string& condition) const {
    std::vector<int64_t> keys;
    for (const auto& row : IntegerRows(request_.path, "SELECT a.Z_PK FROM " + Assets() +
                                                           " a WHERE a.ZDIRECTORY IS NOT NULL AND a.ZFILENAME IS "
                                                           "NOT NULL AND " + condition)) {
      keys.push_back(row[0]);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
  }
  static std::vector<int64_t> KeysOf(const std::vector<PhotoRecord>& photos) {
    std::vector<int64_t> keys;
    for (const PhotoRecord& photo : photos) keys.push_back(photo.key);
    std::sort(keys.begin(), keys.end());
    return keys;
  }
  std::string AlbumCondition(int64_t album) const {
    return "a.Z_PK IN (SELECT " + std::string(GetParam().asset_column) + " FROM " + GetParam().join + " WHERE " +
           GetParam().album_column + " = " + std::to_string(album) + ")";
  }

  PhotoForms forms_;
  PhotoRequest request_;
};

TEST_P(RealLibraryTest, TheCameraRollIsEveryPhotoOutsideTheTrashNewestFirst) {
  CollectingSink sink;
  ASSERT_EQ(forms_.Run(PhotoQuery::kCameraRoll, request_, sink), 0);
  EXPECT_EQ(KeysOf(sink.photos), Keys("a.ZTRASHEDSTATE = 0"));
  EXPECT_GT(sink.photos.size(), 50u);
  for (size_t i = 1; i < sink.photos.size(); ++i) {
    EXPECT_GE(sink.photos[i - 1].date_created, sink.photos[i].date_created) << i;
  }
  EXPECT_EQ(forms_.Remembered(PhotoQuery::kCameraRoll, request_.product_version), &CameraRollNewForm);
}

TEST_P(RealLibraryTest, EveryPhotoCarriesItsOwnAttributesSizeAndPath) {
  CollectingSink sink;
  ASSERT_EQ(forms_.Run(PhotoQuery::kCameraRoll, request_, sink), 0);
  // The attributes row names its asset; that is independent of how the query joins the two.
  std::map<int64_t, int64_t> sizes;
  for (const auto& row : IntegerRows(request_.path, "SELECT ZASSET, ZORIGINALFILESIZE FROM "
                                                    "ZADDITIONALASSETATTRIBUTES")) {
    sizes[row[0]] = row[1];
  }
  for (const PhotoRecord& photo : sink.photos) {
    EXPECT_EQ(photo.original_file_size, sizes[photo.key]) << photo.key;
    EXPECT_TRUE(photo.path.rfind("DCIM/", 0) == 0 || photo.path.rfind("PhotoData/", 0) == 0) << photo.path;
  }
}

TEST_P(RealLibraryTest, AlbumCountsMatchPerAlbumType) {
  CollectingSink sink;
  ASSERT_EQ(forms_.Run(PhotoQuery::kAlbumList, request_, sink), 0);
  const std::string alive = " AND a.ZTRASHEDSTATE = 0";
  std::vector<std::pair<int, std::vector<std::vector<int64_t>>>> expected;
  auto user_albums = [&](const std::string& kind_condition) {
    return IntegerRows(request_.path,
                       "SELECT al.Z_PK, count(*) FROM ZGENERICALBUM al JOIN " + std::string(GetParam().join) +
                           " z ON z." + GetParam().album_column + " = al.Z_PK JOIN " + Assets() + " a ON a.Z_PK = z." +
                           GetParam().asset_column + " WHERE " + kind_condition +
                           " AND al.ZTRASHEDSTATE = 0 AND a.ZTRASHEDSTATE = 0 GROUP BY al.Z_PK ORDER BY al.Z_PK");
  };
  auto count = [&](const std::string& condition) {
    int64_t n = Single(request_.path, "SELECT count(*) FROM " + Assets() + " a WHERE " + condition);
    return n == 0 ? std::vector<std::vector<int64_t>>{} : std::vector<std::vector<int64_t>>{{0, n}};
  };
  expected.emplace_back(1, user_albums("al.ZKIND = 1000"));
  expected.emplace_back(2, count("a.ZFAVORITE = 1" + alive));
  expected.emplace_back(3, count("a.ZKINDSUBTYPE = 10" + alive));
  expected.emplace_back(4, count("a.ZSAVEDASSETTYPE = 256" + alive));
  expected.emplace_back(6, count("a.ZKIND = 1" + alive));
  expected.emplace_back(5, count("a.ZTRASHEDSTATE = 1"));
  expected.emplace_back(7, count("a.ZPLAYBACKSTYLE = 3 AND a.ZSAVEDASSETTYPE != 8" + alive));
  expected.emplace_back(8, count("a.ZPLAYBACKSTYLE = 1 AND a.ZAVALANCHEPICKTYPE = 52" + alive));
  expected.emplace_back(0, user_albums("al.ZTITLE IS NOT NULL AND al.ZKIND != 1000"));

  std::vector<std::vector<int64_t>> want;
  for (const auto& [type, rows] : expected) {
    for (const auto& row : rows) want.push_back({type, row[0], row[1]});
  }
  std::vector<std::vector<int64_t>> got;
  for (const AlbumRecord& album : sink.albums) {
    got.push_back({album.type, album.key, album.count});
    if (album.type == 0) {
      EXPECT_FALSE(album.title.empty());
    }
  }
  EXPECT_EQ(got, want);
  EXPECT_FALSE(sink.albums.empty());
}

TEST_P(RealLibraryTest, EachListedAlbumHoldsThePhotosItCounts) {
  CollectingSink albums;
  ASSERT_EQ(forms_.Run(PhotoQuery::kAlbumList, request_, albums), 0);
  const std::map<int, std::string> conditions = {
      {2, "a.ZFAVORITE = 1 AND a.ZTRASHEDSTATE = 0"},
      {3, "a.ZKINDSUBTYPE = 10 AND a.ZTRASHEDSTATE = 0"},
      {4, "a.ZSAVEDASSETTYPE = 256 AND a.ZTRASHEDSTATE = 0"},
      {5, "a.ZTRASHEDSTATE = 1"},
      {6, "a.ZKIND = 1 AND a.ZTRASHEDSTATE = 0"},
      {7, "a.ZPLAYBACKSTYLE = 3 AND a.ZSAVEDASSETTYPE != 8 AND a.ZTRASHEDSTATE = 0"},
      {8, "a.ZPLAYBACKSTYLE = 1 AND a.ZAVALANCHEPICKTYPE = 52 AND a.ZTRASHEDSTATE = 0"}};
  for (const AlbumRecord& album : albums.albums) {
    PhotoRequest request = request_;
    request.album_id = album.key;
    request.album_type = album.type;
    CollectingSink photos;
    ASSERT_EQ(forms_.Run(PhotoQuery::kAlbumPhotos, request, photos), 0) << album.type << "/" << album.key;
    std::string condition = album.type <= 1 ? AlbumCondition(album.key) + " AND a.ZTRASHEDSTATE = 0"
                                            : conditions.at(album.type);
    EXPECT_EQ(KeysOf(photos.photos), Keys(condition)) << album.type << "/" << album.key;
    EXPECT_EQ(static_cast<int64_t>(photos.photos.size()), album.count) << album.type << "/" << album.key;
  }
}

TEST_P(RealLibraryTest, AnAlbumTypeOutsideZeroToEightIsRefused) {
  for (int type : {-1, 9, 1000}) {
    PhotoRequest request = request_;
    request.album_type = type;
    CollectingSink sink;
    EXPECT_EQ(forms_.Run(PhotoQuery::kAlbumPhotos, request, sink), 21) << type;
  }
}

INSTANTIATE_TEST_SUITE_P(Ios, RealLibraryTest, ::testing::ValuesIn(kLibraries),
                         [](const auto& info) { return std::string(info.param.assets); });

}  // namespace
