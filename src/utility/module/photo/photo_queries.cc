#include "utility/module/photo/photo_queries.h"

#include <glog/logging.h>

#include <filesystem>

#include "utility/db/sqlite_regexp.h"
#include "utility/module/photo/photo_schema.h"
#include "utility/module/photo/photo_sql.h"
#include "utility/module/photo/photo_version.h"

// The database kit's failure codes are what the host sees of a photo query.
static_assert(kDbCannotOpen == protocol::kResultDatabaseNotOpened);
static_assert(kDbBadStatement == protocol::kResultStatementNotPrepared);

namespace {

int OpenCopy(const PhotoRequest& request, SqliteDatabase* db) {
  // Opening creates a missing database; a request that names none must not leave an empty one behind.
  std::error_code error;
  if (!std::filesystem::is_regular_file(request.path, error)) {
    LOG(ERROR) << "OPEN DB: " << request.path << " RES: " << SQLITE_CANTOPEN;
    return kDbCannotOpen;
  }
  if (int result = db->Open(request.path); result != kDbOk) return result;
  if (RegisterRegexpFunction(db->handle()) != SQLITE_OK) {
    LOG(ERROR) << "No regexp function on " << request.path;
    return kDbCannotOpen;
  }
  return kDbOk;
}

int RunPhotoSql(SqliteDatabase& db, const std::string& sql, PhotoSink& sink) {
  SqliteStatement statement;
  // The photo statements are logged without the database's path.
  if (int result = db.Prepare(sql, ": ", &statement); result != kDbOk) return result;
  PhotoRecord photo;
  while (statement.Step()) {
    if (!ReadPhotoRow(statement, &photo)) continue;
    if (!sink.Photo(photo)) return kPhotoQueryStopped;
  }
  return kDbOk;
}

// One album-list statement; a statement that does not prepare is logged and skipped (its code is returned for
// the one statement whose outcome counts). Rows stop at the first count of 0: a count-only statement that finds
// nothing is no album.
int RunAlbumSql(SqliteDatabase& db, const AlbumCountSql& query, PhotoSink& sink) {
  SqliteStatement statement;
  if (int result = db.Prepare(query.sql, &statement); result != kDbOk) {
    LOG(ERROR) << "GetAlbumListFromQueryDb_2 Fail: " << query.sql;
    return result;
  }
  while (statement.Step()) {
    AlbumRecord album = ReadAlbumRow(statement, query.album_type);
    if (album.count == 0) break;
    if (!sink.Album(album)) return kPhotoQueryStopped;
  }
  return kDbOk;
}

int RunAlbumList(SqliteDatabase& db, const std::vector<AlbumCountSql>& statements, PhotoSink& sink) {
  int result = kDbOk;
  for (const AlbumCountSql& query : statements) {
    result = RunAlbumSql(db, query, sink);
    if (result == kPhotoQueryStopped) return result;
  }
  return result;  // the last statement's (type 0)
}

}  // namespace

int CameraRollNewForm(const PhotoRequest& request, PhotoSink& sink) {
  SqliteDatabase db;
  if (int result = OpenCopy(request, &db); result != kDbOk) return result;
  std::string asset_table = AssetTableFor(request.product_version);
  AssetColumns columns;
  if (int result = ProbeAssetColumns(db, asset_table, &columns); result != kDbOk) return result;
  return RunPhotoSql(db, CameraRollSql(asset_table, columns), sink);
}

int CameraRollOldForm(const PhotoRequest& request, PhotoSink& sink) {
  SqliteDatabase db;
  if (int result = OpenCopy(request, &db); result != kDbOk) return result;
  return RunPhotoSql(db, OldCameraRollSql(), sink);
}

int AlbumListNewForm(const PhotoRequest& request, PhotoSink& sink) {
  SqliteDatabase db;
  if (int result = OpenCopy(request, &db); result != kDbOk) return result;
  std::string asset_table = AssetTableFor(request.product_version);
  JoinTable join;
  if (int result = FindJoinTable(db, AssetColumnSource::kCreateText, &join); result != kDbOk) return result;
  bool album_trash = true;
  AssetColumns columns;
  if (int result = ProbeAlbumTrash(db, &album_trash); result != kDbOk) return result;
  if (int result = ProbeAssetColumns(db, asset_table, &columns); result != kDbOk) return result;
  return RunAlbumList(db, AlbumListSql(asset_table, join, columns, album_trash), sink);
}

int AlbumListOldForm(const PhotoRequest& request, PhotoSink& sink) {
  SqliteDatabase db;
  if (int result = OpenCopy(request, &db); result != kDbOk) return result;
  return RunAlbumList(db, OldAlbumListSql(), sink);
}

int AlbumPhotosNewForm(const PhotoRequest& request, PhotoSink& sink) {
  SqliteDatabase db;
  if (int result = OpenCopy(request, &db); result != kDbOk) return result;
  std::string asset_table = AssetTableFor(request.product_version);
  JoinTable join;
  if (int result = FindJoinTable(db, AssetColumnSource::kColumnNames, &join); result != kDbOk) return result;
  AssetColumns columns;
  if (int result = ProbeAssetColumns(db, asset_table, &columns); result != kDbOk) return result;
  std::string sql;
  switch (AlbumPhotosSql(asset_table, join, columns, request.album_type, request.album_id, &sql)) {
    case AlbumPhotosPlan::kQuery: return RunPhotoSql(db, sql, sink);
    case AlbumPhotosPlan::kEmpty: return kDbOk;
    case AlbumPhotosPlan::kUnknownType: break;
  }
  LOG(ERROR) << "Unknown album type " << request.album_type;
  return kPhotoBadAlbumType;
}

int AlbumPhotosOldForm(const PhotoRequest& request, PhotoSink& sink) {
  SqliteDatabase db;
  if (int result = OpenCopy(request, &db); result != kDbOk) return result;
  return RunPhotoSql(db, OldAlbumPhotosSql(request.album_id), sink);
}
