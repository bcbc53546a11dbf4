#include "utility/module/photo/photo_sql.h"

namespace {

constexpr char kPhotoColumns[] =
    "a.Z_PK,a.ZSAVEDASSETTYPE,a.ZDIRECTORY || '/'||a.ZFILENAME,a.ZORIENTATION, a.ZADDITIONALATTRIBUTES,"
    "a.ZDATECREATED,a.ZMODIFICATIONDATE, t.ZORIGINALFILESIZE";
// An asset's attributes row is the one its ZADDITIONALATTRIBUTES names. Joining on equal keys instead (the two
// tables' keys agree on older databases) gives about half the photos of an iOS 14 library another photo's size.
constexpr char kAttributesJoin[] = " a left join ZADDITIONALASSETATTRIBUTES t on t.Z_PK = a.ZADDITIONALATTRIBUTES";
constexpr char kTrashClause[] = " AND a.ZTRASHEDSTATE = 0";
constexpr char kUserAlbumKind[] = "1000";

std::string AlbumJoinCountSql(const std::string& asset_table, const JoinTable& join, const std::string& where,
                              const AssetColumns& columns, bool album_trashed_state) {
  std::string sql = "SELECT count(0),al.z_pk,al.ztitle,al.zkind FROM ZGENERICALBUM al," + join.name + " z" +
                    " left join " + asset_table + " zg on z." + join.asset_column +
                    " = zg.z_pk left join ZADDITIONALASSETATTRIBUTES t on t.Z_PK = z." + join.asset_column + where +
                    " AND z." + join.album_column + " = al.z_pk";
  if (album_trashed_state) sql += " AND  al.ZTRASHEDSTATE = 0";
  if (columns.trashed_state) sql += " AND  zg.ZTRASHEDSTATE = 0";
  return sql + " group by al.z_pk ";
}

std::string AssetCountSql(const std::string& asset_table, const std::string& condition, bool trash_clause) {
  std::string sql = "SELECT count(0),0,'',0 FROM " + asset_table + " WHERE " + condition;
  if (trash_clause) sql += " AND ZTRASHEDSTATE = 0";
  return sql;
}

}  // namespace

std::string AssetTableProbeSql(const std::string& asset_table) {
  return " SELECT sql from sqlite_master where  type=\"table\" AND name='" + asset_table + "'";
}

std::string TableProbeSql(const std::string& table) {
  return " SELECT sql from sqlite_master WHERE  type=\"table\" AND name='" + table + "'";
}

std::string JoinTableSearchSql() {
  return "SELECT name FROM sqlite_master WHERE type=\"table\" AND name REGEXP \"Z_[0-9]+ASSETS\"";
}

std::string JoinTableColumnsSql(const std::string& join_table) { return "select * from " + join_table + " limit 0"; }

std::string BasePhotoSql(const std::string& asset_table) {
  return std::string("SELECT ") + kPhotoColumns + " FROM " + asset_table + kAttributesJoin + " WHERE 1=1";
}

std::string CameraRollSql(const std::string& asset_table, const AssetColumns& columns) {
  std::string sql = BasePhotoSql(asset_table);
  if (columns.trashed_state) sql += kTrashClause;
  return sql + " ORDER BY ZDATECREATED desc";
}

std::string OldCameraRollSql() {
  return "SELECT p.primaryKey,p.type,p.directory || '/' || p.filename,p.orientation, 0 as ZADDITIONALATTRIBUTES,"
         "p.captureTime,p.recordModDate,0 as ZORIGINALFILESIZE  FROM Photo p WHERE p.filename is not null";
}

std::vector<AlbumCountSql> AlbumListSql(const std::string& asset_table, const JoinTable& join,
                                        const AssetColumns& columns, bool album_trashed_state) {
  std::vector<AlbumCountSql> list;
  list.push_back({1, AlbumJoinCountSql(asset_table, join, std::string(" WHERE") + " al.zkind ==" + kUserAlbumKind,
                                       columns, album_trashed_state)});
  bool trash = columns.trashed_state;
  if (columns.favorite) list.push_back({2, AssetCountSql(asset_table, "zfavorite = 1", trash)});
  if (columns.kind_subtype) {
    list.push_back({3, AssetCountSql(asset_table, "ZKINDSUBTYPE = 10", trash)});
    list.push_back({4, AssetCountSql(asset_table, "ZSAVEDASSETTYPE = 256", trash)});
  }
  list.push_back({6, AssetCountSql(asset_table, "ZKIND = 1", trash)});
  if (columns.trashed_state) {
    list.push_back({5, " SELECT count(0),0,'',0 FROM " + asset_table +
                           " a left join ZADDITIONALASSETATTRIBUTES t ON t.Z_PK = a.Z_PK WHERE 1= 1"
                           " AND a.ZTRASHEDSTATE = 1"});
  }
  list.push_back({7, " SELECT count(0),0,'',0 FROM " + asset_table +
                         " WHERE ZPLAYBACKSTYLE = 3 and ZTRASHEDSTATE=0 and ZSAVEDASSETTYPE != 8"});
  list.push_back({8, " SELECT count(0),0,'',0 FROM " + asset_table +
                         " WHERE ZPLAYBACKSTYLE = 1 and ZAVALANCHEPICKTYPE = 52 and ZTRASHEDSTATE=0"});
  list.push_back({0, AlbumJoinCountSql(asset_table, join,
                                       std::string(" WHERE al.ztitle is not null") + " AND al.zkind !=" + kUserAlbumKind,
                                       columns, album_trashed_state)});
  return list;
}

std::vector<AlbumCountSql> OldAlbumListSql() {
  const std::string head =
      "SELECT count(0),al.primaryKey,al.title,al.kind FROM PhotoAlbum al,PhotoAlbumToPhotoJoin z_16 "
      "WHERE z_16.left = al.primaryKey";
  return {{1, head + " AND al.kind == 1000" + " GROUP BY al.primaryKey "},
          {0, head + " AND al.kind != 1000" + " AND al.title is not null" + " GROUP BY al.primaryKey "}};
}

AlbumPhotosPlan AlbumPhotosSql(const std::string& asset_table, const JoinTable& join, const AssetColumns& columns,
                    int album_type, int64_t album_id, std::string* sql) {
  const std::string trash = columns.trashed_state ? kTrashClause : "";
  const std::string base = BasePhotoSql(asset_table);
  switch (album_type) {
    case 0:
    case 1:
      *sql = std::string(" SELECT ") + kPhotoColumns + " FROM " + asset_table + kAttributesJoin + "," + join.name + " z WHERE a.Z_pk = z." +
             join.asset_column + " AND z." + join.album_column + "=" + std::to_string(album_id) + trash;
      break;
    case 2: *sql = base + " AND zfavorite = 1" + trash; break;
    case 3: *sql = base + " AND ZKINDSUBTYPE == 10" + trash; break;
    case 4: *sql = base + " AND ZSAVEDASSETTYPE = 256" + trash; break;
    case 5:
      if (!columns.trashed_state) return AlbumPhotosPlan::kEmpty;
      *sql = base + " AND a.ZTRASHEDSTATE = 1";
      break;
    case 6: *sql = base + " AND ZKIND == 1" + trash; break;
    case 7: *sql = base + kTrashClause + " AND ZPLAYBACKSTYLE = 3 AND ZSAVEDASSETTYPE != 8"; break;
    case 8: *sql = base + kTrashClause + " AND ZPLAYBACKSTYLE = 1 and ZAVALANCHEPICKTYPE = 52"; break;
    default: return AlbumPhotosPlan::kUnknownType;
  }
  return AlbumPhotosPlan::kQuery;
}

std::string OldAlbumPhotosSql(int64_t album_id) {
  return "select p.primaryKey,p.type,p.directory || '/' || p.filename,p.orientation, 0 as ZADDITIONALATTRIBUTES,"
         "p.captureTime,p.recordModDate,0 as ZORIGINALFILESIZE  from Photo p,PhotoAlbumToPhotoJoin pp where "
         "p.filename is not null and pp.right = p.primaryKey and pp.left =" +
         std::to_string(album_id);
}
