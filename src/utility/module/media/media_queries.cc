#include "utility/module/media/media_queries.h"

#include <glog/logging.h>

#include <unordered_map>

namespace media {

const char kItemSql[] =
    "select media_kind,i.item_pid, file_size, year,date_modified,comment,description_long,copyright,title,"
    "total_time_ms, i.media_type, a.album,a.album_pid, ia.item_artist,ia.item_artist_pid, g.genre,g.genre_id, "
    "bl.path || '/' || ie.location,bl.base_location_id from item as i left join item_extra as ie on ie.item_pid = "
    "i.item_pid left join album as a on a.album_pid = i.album_pid left join item_artist as ia on "
    "ia.item_artist_pid = i.item_artist_pid\t left join genre as g on g.genre_id = i.genre_id left join "
    "base_location as bl on bl.base_location_id = i.base_location_id order by title COLLATE NOCASE asc";

const char kOlderItemSql[] =
    "SELECT media_kind,pid,0 as file_size,year,date_modified, comment,description_long,copyright,title, "
    "total_time_ms,0 as media_type,album,0 album_pid,artist,0 as artist_pid, gm.genre,genre_id,null as path from "
    "item left join genre_map gm on genre_id = gm.id order by title COLLATE NOCASE asc";

const char kLocationsSql[] =
    "SELECT item_pid,a.path || '/' || b.location as lpath, b.file_size FROM base_location as a,location as b "
    "WHERE a.id = b.base_location_id AND lpath is not null";

const char kPlaylistSql1[] =
    " SELECT container.container_pid,container.name,container.contained_media_type, container.parent_pid, "
    "container.smart_is_folder FROM container WHERE container.container_pid NOT IN  (SELECT primary_container_pid "
    "FROM db_info) AND container.is_hidden = 0 and name is not null";

const char kPlaylistSql2[] =
    " SELECT container.container_pid,container.name,container.media_kinds, container.parent_pid, "
    "container.smart_is_folder FROM container  WHERE container.container_pid NOT IN (SELECT primary_container_pid "
    "FROM db_info) AND container.is_hidden = 0";

const char kOlderPlaylistSql[] =
    "SELECT container.pid,container.name,container.media_kinds, container.parent_pid,container.smart_is_folder "
    "FROM container  WHERE container.pid NOT IN (SELECT primary_container_pid FROM db_info) AND "
    "container.is_hidden = 0";

const char kTrackSql[] = "SELECT item_pid FROM container_item where container_pid = ?";
const char kOlderTrackSql[] = "SELECT item_pid FROM item_to_container where container_pid = ?";
const char kTrackBlobSql[] = "SELECT item_pid_data FROM container_items WHERE container_pid = ?";

namespace {

MediaItem ReadItem(const SqliteStatement& row) {
  MediaItem item;
  item.media_kind = row.Int64(0);
  item.item_pid = row.Int64(1);
  item.file_size = row.Int64(2);
  item.year = row.Int(3);
  item.date_modified = row.Int64(4);
  item.comment = row.Text(5);
  item.description_long = row.Text(6);
  item.copyright = row.Text(7);
  item.title = row.Text(8);
  item.total_time_ms = row.Double(9);
  item.media_type = row.Int64(10);
  item.album = row.Text(11);
  item.album_pid = row.Int64(12);
  item.artist = row.Text(13);
  item.artist_pid = row.Int64(14);
  item.genre = row.Text(15);
  item.genre_id = row.Int64(16);
  item.path = row.Text(17);
  return item;
}

std::vector<MediaItem>* CurrentListOf(int64_t media_kind, MediaLists* lists) {
  switch (media_kind) {
    case 2: return &lists->movies;
    case 33: return &lists->music_videos;
    case 64: return &lists->tv_shows;
    default: return &lists->songs;
  }
}

std::vector<MediaItem>* OlderListOf(int64_t media_kind, MediaLists* lists) {
  if (media_kind == 1) return &lists->songs;
  if (media_kind == 2) return &lists->movies;
  if (media_kind & 64) return &lists->tv_shows;
  if (media_kind & 32) return &lists->music_videos;
  return nullptr;
}

struct Location {
  std::string path;
  int64_t file_size = 0;
};

std::unordered_map<int64_t, Location> ReadLocations(const std::string& locations_path) {
  std::unordered_map<int64_t, Location> locations;
  SqliteDatabase db;
  if (db.Open(locations_path) != kDbOk) return locations;
  SqliteStatement row;
  if (db.Prepare(kLocationsSql, " QueryMediaLibrary: ", &row) != kDbOk) return locations;
  while (row.Step()) locations[row.Int64(0)] = Location{row.Text(1), row.Int64(2)};
  return locations;
}

}  // namespace

int QueryMediaItems(SqliteDatabase& db, MediaLists* lists) {
  SqliteStatement row;
  if (int code = db.Prepare(kItemSql, " QueryMediaLibrary: ", &row); code != kDbOk) return code;
  while (row.Step()) {
    if (row.Double(9) == 0.0) continue;
    MediaItem item = ReadItem(row);
    CurrentListOf(item.media_kind, lists)->push_back(std::move(item));
  }
  return kDbOk;
}

int QueryOlderItems(SqliteDatabase& db, const std::string& locations_path, MediaLists* lists) {
  SqliteStatement row;
  if (int code = db.Prepare(kOlderItemSql, " QueryLibraryITDB: ", &row); code != kDbOk) return code;
  std::unordered_map<int64_t, Location> locations = ReadLocations(locations_path);
  while (row.Step()) {
    auto location = locations.find(row.Int64(1));
    if (location == locations.end() || row.Double(9) == 0.0) continue;
    MediaItem item = ReadItem(row);
    item.path = location->second.path;
    item.file_size = location->second.file_size;
    if (std::vector<MediaItem>* list = OlderListOf(item.media_kind, lists)) list->push_back(std::move(item));
  }
  return kDbOk;
}

int QueryPlaylists(SqliteDatabase& db, std::optional<std::string_view> sql, std::vector<Playlist>* playlists) {
  SqliteStatement row;
  if (sql) {
    if (int code = db.Prepare(*sql, " QueryMSongPlaylist: ", &row); code != kDbOk) return code;
  } else if (int code = db.TryPrepare(kPlaylistSql1, &row); code != SQLITE_OK) {
    LOG(INFO) << "OPEN STMT QueryMSongPlaylist:  SQL1: " << kPlaylistSql1 << " RES: " << code;
    if (code = db.TryPrepare(kPlaylistSql2, &row); code != SQLITE_OK) {
      LOG(INFO) << "OPEN STMT QueryMSongPlaylist:  SQL2: " << kPlaylistSql2 << " RES: " << code;
      return kDbBadStatement;
    }
  }
  while (row.Step()) {
    Playlist playlist;
    playlist.container_pid = row.Int64(0);
    playlist.name = row.Text(1);
    playlist.media_type = row.Int64(2);
    playlist.parent_pid = row.Int64(3);
    playlist.smart_is_folder = row.Int(4);
    playlists->push_back(std::move(playlist));
  }
  return kDbOk;
}

void AppendBlobPids(std::string_view blob, std::vector<int64_t>* item_pids) {
  for (size_t offset = 0; offset + 8 <= blob.size(); offset += 8) {
    uint64_t value = 0;
    for (int byte = 7; byte >= 0; --byte) value = (value << 8) | static_cast<uint8_t>(blob[offset + byte]);
    item_pids->push_back(static_cast<int64_t>(value));
  }
}

int QueryTracks(SqliteDatabase& db, std::string_view sql, int64_t container_pid, std::vector<int64_t>* item_pids) {
  SqliteStatement row;
  int code = db.TryPrepare(sql, &row);
  if (code == SQLITE_OK) {
    row.BindInt64(1, container_pid);
    while (row.Step()) item_pids->push_back(row.Int64(0));
    return kDbOk;
  }
  LOG(INFO) << "OPEN STMT:  SQL: " << sql << " RES: " << code;
  if (db.Prepare(kTrackBlobSql, ": ", &row) != kDbOk) return kDbBadStatement;
  row.BindInt64(1, container_pid);
  while (row.Step()) AppendBlobPids(row.Blob(0), item_pids);
  return kDbOk;
}

}  // namespace media
