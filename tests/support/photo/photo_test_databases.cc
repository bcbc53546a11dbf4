#include "support/photo/photo_test_databases.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

namespace {

class Writer {
 public:
  Writer(const std::string& path, std::string* error) : error_(error) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Fail("open");
  }
  ~Writer() { sqlite3_close(db_); }

  bool ok() const { return ok_; }
  void Exec(const std::string& sql) {
    if (ok_ && sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (ok_ && sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail(sql);
    return statement;
  }
  void Run(sqlite3_stmt* statement) {
    if (ok_ && sqlite3_step(statement) != SQLITE_DONE) Fail("insert");
    sqlite3_reset(statement);
  }

 private:
  void Fail(const std::string& what) {
    if (ok_) *error_ = what + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "no database");
    ok_ = false;
  }

  sqlite3* db_ = nullptr;
  std::string* error_;
  bool ok_ = true;
};

std::string FileName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "IMG_%05d.JPG", i);
  return name;
}

}  // namespace

std::string GeneratedPhotoPath(int i) { return "DCIM/100APPLE/" + FileName(i); }

bool WritePhotoLibrary(const std::string& path, const PhotoLibrarySpec& spec, std::string* error) {
  Writer db(path, error);
  const std::string n = std::to_string(spec.join_number);
  std::string asset_columns = "Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, ZAVALANCHEPICKTYPE INTEGER,";
  if (spec.favorite) asset_columns += " ZFAVORITE INTEGER,";
  asset_columns += " ZKIND INTEGER,";
  if (spec.kind_subtype) asset_columns += " ZKINDSUBTYPE INTEGER,";
  asset_columns += " ZORIENTATION INTEGER, ZPLAYBACKSTYLE INTEGER, ZSAVEDASSETTYPE INTEGER,";
  if (spec.trashed_state) asset_columns += " ZTRASHEDSTATE INTEGER,";
  asset_columns += " ZADDITIONALATTRIBUTES INTEGER, ZDATECREATED TIMESTAMP, ZMODIFICATIONDATE TIMESTAMP,"
                   " ZTRASHEDDATE TIMESTAMP, ZDIRECTORY VARCHAR, ZFILENAME VARCHAR";
  db.Exec("CREATE TABLE Z_3MEMORIESBEINGCURATEDASSETS ( Z_3MEMORIESBEINGCURATEDASSETS INTEGER, Z_" + n +
          "ASSETSBEINGCURATED INTEGER )");
  db.Exec("CREATE TABLE " + spec.asset_table + " ( " + asset_columns + " )");
  db.Exec("CREATE TABLE ZADDITIONALASSETATTRIBUTES ( Z_PK INTEGER PRIMARY KEY, ZORIGINALFILESIZE INTEGER, "
          "ZASSET INTEGER )");
  db.Exec(std::string("CREATE TABLE ZGENERICALBUM ( Z_PK INTEGER PRIMARY KEY, ZKIND INTEGER, ") +
          (spec.album_trashed_state ? "ZTRASHEDSTATE INTEGER, " : "") + "ZTITLE VARCHAR )");
  db.Exec("CREATE TABLE Z_" + n + "ASSETS ( Z_" + n + "ALBUMS INTEGER, Z_3ASSETS INTEGER, Z_FOK_3ASSETS INTEGER, "
          "PRIMARY KEY (Z_" + n + "ALBUMS, Z_3ASSETS) )");
  db.Exec("BEGIN");

  sqlite3_stmt* album = db.Prepare("INSERT INTO ZGENERICALBUM (Z_PK, ZKIND, ZTITLE" +
                                   std::string(spec.album_trashed_state ? ", ZTRASHEDSTATE" : "") + ") VALUES (?,?,?" +
                                   (spec.album_trashed_state ? ",?" : "") + ")");
  for (int a = 1; db.ok() && a <= spec.albums; ++a) {
    bool camera = a == spec.albums;
    std::string title = camera ? "Camera" : "Album " + std::to_string(a);
    sqlite3_bind_int(album, 1, a);
    sqlite3_bind_int(album, 2, camera ? 1000 : 2);
    if (a == 1 && !camera) {
      sqlite3_bind_null(album, 3);
    } else {
      sqlite3_bind_text(album, 3, title.c_str(), -1, SQLITE_TRANSIENT);
    }
    if (spec.album_trashed_state) sqlite3_bind_int(album, 4, a == 2 && spec.albums >= 4 ? 1 : 0);
    db.Run(album);
  }
  sqlite3_finalize(album);

  std::string insert = "INSERT INTO " + spec.asset_table + " (Z_PK, Z_ENT, ZAVALANCHEPICKTYPE, ZKIND, ZORIENTATION, "
                       "ZPLAYBACKSTYLE, ZSAVEDASSETTYPE, ZADDITIONALATTRIBUTES, ZDATECREATED, ZMODIFICATIONDATE, "
                       "ZDIRECTORY, ZFILENAME";
  std::string values = "?,3,?,?,?,?,?,?,?,?,?,?";
  if (spec.favorite) insert += ", ZFAVORITE", values += ",?12";
  if (spec.kind_subtype) insert += ", ZKINDSUBTYPE", values += ",?13";
  if (spec.trashed_state) insert += ", ZTRASHEDSTATE", values += ",?14";
  sqlite3_stmt* asset = db.Prepare(insert + ") VALUES (" + values + ")");
  sqlite3_stmt* attributes = db.Prepare("INSERT INTO ZADDITIONALASSETATTRIBUTES VALUES (?,?,?)");
  sqlite3_stmt* member = db.Prepare("INSERT INTO Z_" + n + "ASSETS VALUES (?,?,?)");
  int total = spec.photos + spec.photos_with_null_path;
  for (int i = 1; db.ok() && i <= total; ++i) {
    bool has_path = i <= spec.photos;
    bool live = i % 19 == 0;
    bool burst = i % 23 == 0;
    sqlite3_bind_int(asset, 1, i);
    sqlite3_bind_int(asset, 2, burst ? 52 : 0);
    sqlite3_bind_int(asset, 3, i % 17 == 0 ? 1 : 0);
    sqlite3_bind_int(asset, 4, 1 + i % 8);
    sqlite3_bind_int(asset, 5, live ? 3 : burst ? 1 : 0);
    sqlite3_bind_int(asset, 6, i % 13 == 0 ? 256 : 3);
    sqlite3_bind_int(asset, 7, i + 1000);
    sqlite3_bind_double(asset, 8, 600000000.5 + 37.0 * i);
    sqlite3_bind_double(asset, 9, 600000100.0 + 37.0 * i);
    sqlite3_bind_text(asset, 10, "DCIM/100APPLE", -1, SQLITE_STATIC);
    if (has_path) {
      sqlite3_bind_text(asset, 11, FileName(i).c_str(), -1, SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(asset, 11);
    }
    if (spec.favorite) sqlite3_bind_int(asset, 12, i % 7 == 0 ? 1 : 0);
    if (spec.kind_subtype) sqlite3_bind_int(asset, 13, i % 11 == 0 ? 10 : 0);
    if (spec.trashed_state) sqlite3_bind_int(asset, 14, i % 29 == 0 ? 1 : 0);
    db.Run(asset);
    sqlite3_bind_int(attributes, 1, i + 1000);
    sqlite3_bind_int64(attributes, 2, spec.negative_sizes && i % 31 == 0 ? -1 : 1000 + i);
    sqlite3_bind_int(attributes, 3, i);
    db.Run(attributes);
    if (spec.albums > 0) {
      sqlite3_bind_int(member, 1, i % spec.albums + 1);
      sqlite3_bind_int(member, 2, i);
      sqlite3_bind_int(member, 3, i);
      db.Run(member);
    }
  }
  sqlite3_finalize(asset);
  sqlite3_finalize(attributes);
  sqlite3_finalize(member);
  db.Exec("COMMIT");
  return db.ok();
}

bool WriteOldPhotoLibrary(const std::string& path, int photos, int albums, std::string* error) {
  Writer db(path, error);
  db.Exec("CREATE TABLE Photo (primaryKey INTEGER PRIMARY KEY, type INTEGER, directory TEXT, filename TEXT, "
          "orientation INTEGER, captureTime REAL, recordModDate REAL)");
  db.Exec("CREATE TABLE PhotoAlbum (primaryKey INTEGER PRIMARY KEY, kind INTEGER, title TEXT)");
  db.Exec("CREATE TABLE PhotoAlbumToPhotoJoin (\"left\" INTEGER, \"right\" INTEGER)");
  db.Exec("BEGIN");
  for (int a = 1; a <= albums; ++a) {
    db.Exec("INSERT INTO PhotoAlbum VALUES (" + std::to_string(a) + "," + (a == 1 ? "1000" : "2") + ",'Album " +
            std::to_string(a) + "')");
  }
  for (int i = 1; i <= photos; ++i) {
    db.Exec("INSERT INTO Photo VALUES (" + std::to_string(i) + ",0,'DCIM/100APPLE','" + FileName(i) + "',1," +
            std::to_string(300000000 + 60 * i) + "," + std::to_string(300000100 + 60 * i) + ")");
    if (albums > 0) {
      db.Exec("INSERT INTO PhotoAlbumToPhotoJoin VALUES (" + std::to_string(i % albums + 1) + "," +
              std::to_string(i) + ")");
    }
  }
  db.Exec("COMMIT");
  return db.ok();
}
