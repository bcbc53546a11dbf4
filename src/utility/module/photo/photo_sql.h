// The SQL texts of the photo queries, character for character as the device databases are asked them.
//
// Newer databases (iOS 6 on) keep photos in an asset table (ZGENERICASSET, or ZASSET from iOS 14), albums in
// ZGENERICALBUM and album membership in a numbered join table (Z_26ASSETS, Z_28ASSETS, ...) whose number changes
// between iOS versions, so the join table and its two columns are found in the schema and passed in here. The
// oldest databases (iOS 4 and 5) have Photo, PhotoAlbum and PhotoAlbumToPhotoJoin.
//
// Every photo query selects the same eight columns: key, saved-asset type, directory + "/" + file name,
// orientation, additional-attributes key, creation date, modification date, original file size.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a newer database's schema says about the columns the queries may use.
struct AssetColumns {
  bool trashed_state = true;  // the asset table has ZTRASHEDSTATE
  bool favorite = false;      // ... ZFAVORITE
  bool kind_subtype = false;  // ... ZKINDSUBTYPE
};

// The join table between albums and assets, and its columns (Z_26ASSETS, Z_26ALBUMS, Z_3ASSETS).
struct JoinTable {
  std::string name;
  std::string album_column;
  std::string asset_column;
};

// The sqlite_master probe of one table's CREATE text (the asset table's spelling).
std::string AssetTableProbeSql(const std::string& asset_table);
// The same probe as the album list asks it of ZGENERICALBUM and of the join table.
std::string TableProbeSql(const std::string& table);
// The query that names the join table.
std::string JoinTableSearchSql();
// The statement whose column names give the album photos their asset column.
std::string JoinTableColumnsSql(const std::string& join_table);

std::string BasePhotoSql(const std::string& asset_table);
std::string CameraRollSql(const std::string& asset_table, const AssetColumns& columns);
std::string OldCameraRollSql();

// One album-list statement and the album type its rows stand for.
struct AlbumCountSql {
  int album_type;
  std::string sql;
};
// The album list's statements in the order they run; the last (type 0) decides the result.
std::vector<AlbumCountSql> AlbumListSql(const std::string& asset_table, const JoinTable& join,
                                        const AssetColumns& columns, bool album_trashed_state);
std::vector<AlbumCountSql> OldAlbumListSql();

// The photos of one album, by album type 0 to 8. A database without a trash column has no recently deleted
// photos: type 5 there is kEmpty (the bare photo query would list every photo as deleted).
enum class AlbumPhotosPlan { kQuery, kEmpty, kUnknownType };
AlbumPhotosPlan AlbumPhotosSql(const std::string& asset_table, const JoinTable& join, const AssetColumns& columns,
                    int album_type, int64_t album_id, std::string* sql);
std::string OldAlbumPhotosSql(int64_t album_id);
