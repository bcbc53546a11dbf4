#include "support/media/media_test_databases.h"

#include <sqlite3.h>

#include <filesystem>

#ifndef CORVANE_MEDIA_FIXTURES
#define CORVANE_MEDIA_FIXTURES ""
#endif

namespace media_test {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

std::string BlobLiteral(const std::vector<int64_t>& pids) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string literal = "X'";
  for (int64_t pid : pids) {
    uint64_t value = static_cast<uint64_t>(pid);
    for (int byte = 0; byte < 8; ++byte) {
      uint8_t b = static_cast<uint8_t>(value >> (8 * byte));
      literal += kHex[b >> 4];
      literal += kHex[b & 15];
    }
  }
  return literal + "'";
}

}  // namespace

std::string CopyRealLibrary(const std::string& version, const std::string& folder) {
  fs::create_directories(folder);
  for (const char* name : {"MediaLibrary.sqlitedb", "MediaLibrary.sqlitedb-wal", "MediaLibrary.sqlitedb-shm"}) {
    fs::path target = fs::path(folder) / name;
    fs::copy_file(fs::path(CORVANE_MEDIA_FIXTURES) / version / name, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
  }
  return (fs::path(folder) / "MediaLibrary.sqlitedb").string();
}

bool RunSql(const std::string& path, const std::string& sql, std::string* error) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK;
  char* message = nullptr;
  if (ok && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    ok = false;
    if (error != nullptr) *error = message != nullptr ? message : "exec failed";
  }
  sqlite3_free(message);
  sqlite3_close(db);
  return ok;
}

std::vector<std::string> Column(const std::string& path, const std::string& sql) {
  std::vector<std::string> values;
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
      sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(statement, 0);
      values.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return values;
}

int64_t Scalar(const std::string& path, const std::string& sql) {
  std::vector<std::string> values = Column(path, sql);
  return values.empty() ? -1 : std::stoll(values[0]);
}

bool WriteCurrentLibrary(const std::string& path, const std::vector<TrackRow>& tracks,
                         const std::vector<PlaylistRow>& playlists, bool with_container_item, std::string* error) {
  std::string sql =
      "CREATE TABLE item (item_pid INTEGER PRIMARY KEY, media_type INTEGER NOT NULL DEFAULT 0, item_artist_pid "
      "INTEGER NOT NULL DEFAULT 0, album_pid INTEGER NOT NULL DEFAULT 0, genre_id INTEGER NOT NULL DEFAULT 0, "
      "base_location_id INTEGER NOT NULL DEFAULT 0);"
      "CREATE TABLE item_extra (item_pid INTEGER PRIMARY KEY, title TEXT NOT NULL DEFAULT '', total_time_ms REAL NOT "
      "NULL DEFAULT 0, year INTEGER NOT NULL DEFAULT 0, location TEXT NOT NULL DEFAULT '', file_size INTEGER NOT NULL "
      "DEFAULT 0, date_modified INTEGER NOT NULL DEFAULT 0, media_kind INTEGER NOT NULL DEFAULT 0, comment TEXT, "
      "description_long TEXT, copyright TEXT);"
      "CREATE TABLE album (album_pid INTEGER PRIMARY KEY, album TEXT);"
      "CREATE TABLE item_artist (item_artist_pid INTEGER PRIMARY KEY, item_artist TEXT);"
      "CREATE TABLE genre (genre_id INTEGER PRIMARY KEY, genre TEXT);"
      "CREATE TABLE base_location (base_location_id INTEGER PRIMARY KEY, path TEXT NOT NULL);"
      "CREATE TABLE container (container_pid INTEGER PRIMARY KEY, name TEXT NOT NULL DEFAULT '', parent_pid INTEGER "
      "NOT NULL DEFAULT 0, contained_media_type INTEGER NOT NULL DEFAULT 0, is_hidden INTEGER NOT NULL DEFAULT 0, "
      "smart_is_folder INTEGER NOT NULL DEFAULT 0);"
      "CREATE TABLE db_info (db_pid INTEGER PRIMARY KEY, primary_container_pid INTEGER);"
      "INSERT INTO base_location VALUES (1, 'iTunes_Control/Music/F00');"
      "INSERT INTO album VALUES (7, 'Harbour Songs');"
      "INSERT INTO item_artist VALUES (8, 'The Pier Band');"
      "INSERT INTO genre VALUES (9, 'Folk');"
      "INSERT INTO container VALUES (1, 'Library', 0, 0, 0, 0);"
      "INSERT INTO db_info VALUES (1, 1);";
  sql += with_container_item
             ? "CREATE TABLE container_item (container_item_pid INTEGER PRIMARY KEY, container_pid INTEGER, "
               "item_pid INTEGER, position INTEGER);"
               "CREATE INDEX ContainerItemPosition ON container_item (container_pid ASC, position ASC);"
             : "CREATE TABLE container_items (container_pid INTEGER PRIMARY KEY, item_pid_data BLOB);";
  for (const TrackRow& track : tracks) {
    std::string pid = std::to_string(track.pid);
    sql += "INSERT INTO item VALUES (" + pid + ", 8, 8, 7, 9, " + (track.location.empty() ? "0" : "1") + ");";
    sql += "INSERT INTO item_extra VALUES (" + pid + ", " + Quoted(track.title) + ", " +
           std::to_string(track.total_time_ms) + ", 2020, " + Quoted(track.location) + ", " +
           std::to_string(track.file_size) + ", 600000000, " + std::to_string(track.media_kind) +
           ", NULL, 'long', '(c)');";
  }
  for (const PlaylistRow& playlist : playlists) {
    std::string pid = std::to_string(playlist.pid);
    sql += "INSERT INTO container VALUES (" + pid + ", " + Quoted(playlist.name) + ", 0, 8, 0, 0);";
    if (with_container_item) {
      for (size_t i = 0; i < playlist.item_pids.size(); ++i) {
        sql += "INSERT INTO container_item (container_pid, item_pid, position) VALUES (" + pid + ", " +
               std::to_string(playlist.item_pids[i]) + ", " + std::to_string(i) + ");";
      }
    } else {
      sql += "INSERT INTO container_items VALUES (" + pid + ", " + BlobLiteral(playlist.item_pids) + ");";
    }
  }
  // One transaction: a commit per row would wait for the disk hundreds of times.
  return RunSql(path, "BEGIN;" + sql + "COMMIT;", error);
}

bool WriteOlderLibrary(const std::string& library_path, const std::string& locations_path,
                       const std::vector<TrackRow>& tracks, const std::vector<PlaylistRow>& playlists,
                       std::string* error) {
  std::string library =
      "CREATE TABLE item (pid INTEGER PRIMARY KEY, media_kind INTEGER, year INTEGER, date_modified INTEGER, "
      "comment TEXT, description_long TEXT, copyright TEXT, title TEXT, total_time_ms REAL, album TEXT, artist "
      "TEXT, genre_id INTEGER);"
      "CREATE TABLE genre_map (id INTEGER PRIMARY KEY, genre TEXT);"
      "CREATE TABLE container (pid INTEGER PRIMARY KEY, name TEXT, media_kinds INTEGER, parent_pid INTEGER, "
      "smart_is_folder INTEGER, is_hidden INTEGER);"
      "CREATE TABLE db_info (primary_container_pid INTEGER);"
      "CREATE TABLE item_to_container (item_pid INTEGER, container_pid INTEGER, position INTEGER);"
      "INSERT INTO genre_map VALUES (3, 'Folk');"
      "INSERT INTO container VALUES (1, 'Library', 1, 0, 0, 0);"
      "INSERT INTO db_info VALUES (1);";
  std::string locations =
      "CREATE TABLE base_location (id INTEGER PRIMARY KEY, path TEXT);"
      "CREATE TABLE location (item_pid INTEGER, base_location_id INTEGER, location TEXT, file_size INTEGER);"
      "INSERT INTO base_location VALUES (1, 'iTunes_Control/Music/F01');";
  for (const TrackRow& track : tracks) {
    std::string pid = std::to_string(track.pid);
    library += "INSERT INTO item VALUES (" + pid + ", " + std::to_string(track.media_kind) + ", 2009, 300000000, " +
               "'note', 'long', '(c)', " + Quoted(track.title) + ", " + std::to_string(track.total_time_ms) +
               ", 'Old Album', 'Old Artist', 3);";
    if (!track.location.empty()) {
      locations += "INSERT INTO location VALUES (" + pid + ", 1, " + Quoted(track.location) + ", " +
                   std::to_string(track.file_size) + ");";
    }
  }
  for (const PlaylistRow& playlist : playlists) {
    std::string pid = std::to_string(playlist.pid);
    library += "INSERT INTO container VALUES (" + pid + ", " + Quoted(playlist.name) + ", 1, 0, 0, 0);";
    for (size_t i = 0; i < playlist.item_pids.size(); ++i) {
      library += "INSERT INTO item_to_container VALUES (" + std::to_string(playlist.item_pids[i]) + ", " + pid +
                 ", " + std::to_string(i) + ");";
    }
  }
  return RunSql(library_path, library, error) && RunSql(locations_path, locations, error);
}

}  // namespace media_test
