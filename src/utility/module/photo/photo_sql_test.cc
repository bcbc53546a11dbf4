// The statements as the device databases are asked them, space for space: tools that read the log match them, and
// a stray space or a lost clause changes nothing visible until a library of another shape meets it.
#include <gtest/gtest.h>

#include "utility/module/photo/photo_sql.h"

namespace {

const JoinTable kJoin{"Z_26ASSETS", "z_26albums", "Z_3ASSETS"};
const AssetColumns kAllColumns{.trashed_state = true, .favorite = true, .kind_subtype = true};

TEST(PhotoSql, CameraRollAndItsProbe) {
  EXPECT_EQ(AssetTableProbeSql("ZASSET"), " SELECT sql from sqlite_master where  type=\"table\" AND name='ZASSET'");
  EXPECT_EQ(CameraRollSql("ZGENERICASSET", kAllColumns),
            "SELECT a.Z_PK,a.ZSAVEDASSETTYPE,a.ZDIRECTORY || '/'||a.ZFILENAME,a.ZORIENTATION, "
            "a.ZADDITIONALATTRIBUTES,a.ZDATECREATED,a.ZMODIFICATIONDATE, t.ZORIGINALFILESIZE FROM ZGENERICASSET a "
            "left join ZADDITIONALASSETATTRIBUTES t on t.Z_PK = a.ZADDITIONALATTRIBUTES WHERE 1=1 AND "
            "a.ZTRASHEDSTATE = 0 ORDER BY ZDATECREATED desc");
  EXPECT_EQ(CameraRollSql("ZASSET", AssetColumns{.trashed_state = false}).find("ZTRASHEDSTATE"), std::string::npos);
}

TEST(PhotoSql, AlbumListInItsOrderWithItsTrashClauses) {
  std::vector<AlbumCountSql> list = AlbumListSql("ZASSET", kJoin, kAllColumns, true);
  std::vector<int> types;
  for (const AlbumCountSql& query : list) types.push_back(query.album_type);
  EXPECT_EQ(types, (std::vector<int>{1, 2, 3, 4, 6, 5, 7, 8, 0}));
  EXPECT_EQ(list[0].sql,
            "SELECT count(0),al.z_pk,al.ztitle,al.zkind FROM ZGENERICALBUM al,Z_26ASSETS z left join ZASSET zg on "
            "z.Z_3ASSETS = zg.z_pk left join ZADDITIONALASSETATTRIBUTES t on t.Z_PK = z.Z_3ASSETS WHERE "
            "al.zkind ==1000 AND z.z_26albums = al.z_pk AND  al.ZTRASHEDSTATE = 0 AND  zg.ZTRASHEDSTATE = 0 group "
            "by al.z_pk ");
  EXPECT_EQ(list[1].sql, "SELECT count(0),0,'',0 FROM ZASSET WHERE zfavorite = 1 AND ZTRASHEDSTATE = 0");
  EXPECT_EQ(list[5].sql, " SELECT count(0),0,'',0 FROM ZASSET a left join ZADDITIONALASSETATTRIBUTES t ON t.Z_PK = "
                         "a.Z_PK WHERE 1= 1 AND a.ZTRASHEDSTATE = 1");
  EXPECT_EQ(list[8].sql.substr(0, 40), list[0].sql.substr(0, 40));
  EXPECT_NE(list[8].sql.find(" WHERE al.ztitle is not null AND al.zkind !=1000 AND z.z_26albums"), std::string::npos);
  // Without the optional columns: no favorites, selfies, screenshots or deleted items, and no trash clauses.
  std::vector<AlbumCountSql> bare = AlbumListSql("ZASSET", kJoin, AssetColumns{.trashed_state = false}, false);
  types.clear();
  for (const AlbumCountSql& query : bare) types.push_back(query.album_type);
  EXPECT_EQ(types, (std::vector<int>{1, 6, 7, 8, 0}));
  EXPECT_EQ(bare[0].sql.find("ZTRASHEDSTATE"), std::string::npos);
}

TEST(PhotoSql, AlbumPhotosByType) {
  std::string sql;
  ASSERT_EQ(AlbumPhotosSql("ZASSET", kJoin, kAllColumns, 1, 42, &sql), AlbumPhotosPlan::kQuery);
  EXPECT_EQ(sql, " SELECT a.Z_PK,a.ZSAVEDASSETTYPE,a.ZDIRECTORY || '/'||a.ZFILENAME,a.ZORIENTATION, "
                 "a.ZADDITIONALATTRIBUTES,a.ZDATECREATED,a.ZMODIFICATIONDATE, t.ZORIGINALFILESIZE FROM ZASSET a left "
                 "join ZADDITIONALASSETATTRIBUTES t on t.Z_PK = a.ZADDITIONALATTRIBUTES,Z_26ASSETS z WHERE a.Z_pk = "
                 "z.Z_3ASSETS AND z.z_26albums=42 AND a.ZTRASHEDSTATE = 0");
  ASSERT_EQ(AlbumPhotosSql("ZASSET", kJoin, AssetColumns{.trashed_state = false}, 7, 0, &sql), AlbumPhotosPlan::kQuery);
  EXPECT_NE(sql.find(" AND a.ZTRASHEDSTATE = 0 AND ZPLAYBACKSTYLE = 3 AND ZSAVEDASSETTYPE != 8"), std::string::npos);
  EXPECT_EQ(AlbumPhotosSql("ZASSET", kJoin, AssetColumns{.trashed_state = false}, 5, 0, &sql), AlbumPhotosPlan::kEmpty);
  EXPECT_EQ(AlbumPhotosSql("ZASSET", kJoin, kAllColumns, 9, 0, &sql), AlbumPhotosPlan::kUnknownType);
}

TEST(PhotoSql, TheOldForm) {
  EXPECT_EQ(OldAlbumPhotosSql(7),
            "select p.primaryKey,p.type,p.directory || '/' || p.filename,p.orientation, 0 as ZADDITIONALATTRIBUTES,"
            "p.captureTime,p.recordModDate,0 as ZORIGINALFILESIZE  from Photo p,PhotoAlbumToPhotoJoin pp where "
            "p.filename is not null and pp.right = p.primaryKey and pp.left =7");
  std::vector<AlbumCountSql> list = OldAlbumListSql();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].sql, "SELECT count(0),al.primaryKey,al.title,al.kind FROM PhotoAlbum al,PhotoAlbumToPhotoJoin "
                         "z_16 WHERE z_16.left = al.primaryKey AND al.kind != 1000 AND al.title is not null GROUP BY "
                         "al.primaryKey ");
}

}  // namespace
