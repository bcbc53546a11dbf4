// Commands 1000 (the whole media library) and 1010 (the tracks of one playlist).
#include <glog/logging.h>

#include <optional>

#include "utility/db/device_snapshot.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/media/media_file_check.h"
#include "utility/module/media/media_queries.h"
#include "utility/module/media/media_reports.h"
#include "utility/module/media/zeb_module_media.h"

namespace {

using namespace media;

std::string ListSizes(const MediaLists& lists) {
  return " songs: " + std::to_string(lists.songs.size()) + " movies: " + std::to_string(lists.movies.size()) +
         " music_video: " + std::to_string(lists.music_videos.size()) +
         " tvshow: " + std::to_string(lists.tv_shows.size());
}

void QueryPlaylistsWithTracks(SqliteDatabase& db, std::optional<std::string_view> playlist_sql,
                              std::string_view track_sql, std::vector<Playlist>* playlists) {
  int result = QueryPlaylists(db, playlist_sql, playlists);
  LOG(INFO) << "QueryMSongPlaylist: " << result << " playlists: " << playlists->size();
  // A playlist whose tracks cannot be read is still listed, with none: the library itself was read.
  for (Playlist& playlist : *playlists) QueryTracks(db, track_sql, playlist.container_pid, &playlist.item_pids);
}

int64_t JsonInteger(const rapidjson::Value* object, const char* key) {
  if (object == nullptr) return 0;
  auto member = object->FindMember(key);
  return member != object->MemberEnd() && member->value.IsInt64() ? member->value.GetInt64() : 0;
}

}  // namespace

int ZEBModuleMedia::ListLibrary(ZEBCommand& command) {
  ZEBDeviceConnection& record = *command.device();
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(record, kServiceAfc, &error, {}, true);
  if (!afc) return protocol::kResultNoFileService;

  MediaLists lists;
  bool current;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    current = TakeSnapshot(record, *afc, Snapshot::kMediaLibrary);
  }
  if (current) {
    SqliteDatabase db;
    if (int code = db.Open(record.SnapshotPath(SnapshotRole::kMediaLibraryDatabase)); code != kDbOk) return code;
    if (int code = QueryMediaItems(db, &lists); code != kDbOk) return code;
    LOG(INFO) << "QueryMediaLibrary: " << 0 << ListSizes(lists);
    QueryPlaylistsWithTracks(db, std::nullopt, kTrackSql, &lists.playlists);
  } else {
    bool older;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      older = TakeSnapshot(record, *afc, Snapshot::kLibrary);
    }
    if (older) {
      SqliteDatabase db;
      if (int code = db.Open(record.SnapshotPath(SnapshotRole::kLibraryDatabase)); code != kDbOk) return code;
      int code = QueryOlderItems(db, record.SnapshotPath(SnapshotRole::kLocationsDatabase), &lists);
      if (code != kDbOk) return code;
      LOG(INFO) << "QueryLibraryITDB: " << 0 << ListSizes(lists);
      QueryPlaylistsWithTracks(db, std::string_view(kOlderPlaylistSql), kOlderTrackSql, &lists.playlists);
    }
  }
  if (command.Aborted()) return kResultAborted;

  RegularFileCheck check = DeviceRegularFileCheck(command.device(), afc, [&command] { return command.Aborted(); });
  MediaSender sender(command);
  for (auto [items, type] : {std::pair{&lists.songs, kReportSongs}, std::pair{&lists.movies, kReportMovies},
                             std::pair{&lists.music_videos, kReportMusicVideos},
                             std::pair{&lists.tv_shows, kReportTvShows}}) {
    FilterItems(items, check);
    if (command.Aborted()) return kResultAborted;
    // A device that left while its files were checked would make the list look shorter rather than unknown.
    if (record.state != ZEBDeviceConnection::kReady || !DeviceStillAnswers(*afc)) {
      LOG(ERROR) << "The device went away while its media files were checked";
      return protocol::kResultNoDevice;
    }
    sender.SendRecords(type, *items, ItemJson);
    items->clear();
    items->shrink_to_fit();
  }

  sender.SendRecords(kReportPlaylists, lists.playlists, PlaylistJson);
  for (const Playlist& playlist : lists.playlists) {
    sender.SendCount(kReportPlaylistTracks, "{\"Playlist\":" + std::to_string(playlist.container_pid) +
                                                ",\"Exist\":1,\"Count\":" + std::to_string(playlist.item_pids.size()) +
                                                "}");
    sender.SendItems(kReportPlaylistTracks, PlaylistTracksJson(playlist.container_pid, playlist.item_pids));
  }
  return kResultOk;
}

int ZEBModuleMedia::ListPlaylistTracks(ZEBCommand& command) {
  ZEBDeviceConnection& record = *command.device();
  const int64_t container_pid = JsonInteger(command.info(), "container_pid");
  const bool refresh = JsonInteger(command.info(), "refresh") != 0;

  std::optional<std::string_view> playlist_sql;
  std::string_view track_sql = kTrackSql;
  SnapshotRole database = SnapshotRole::kMediaLibraryDatabase;
  if (refresh) {
    int error = 0;
    ZEBDeviceServicePtr afc = StartService(record, kServiceAfc, &error, {}, true);
    if (!afc) return protocol::kResultNoFileService;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!TakeSnapshot(record, *afc, Snapshot::kMediaLibrary)) {
      LOG(INFO) << "ReloadMediaLibraryDb fail";
      if (!TakeSnapshot(record, *afc, Snapshot::kLibrary)) {
        LOG(ERROR) << "ReloadLibraryITDB fail";
        return protocol::kResultNoDatabaseCopy;
      }
      playlist_sql = kOlderPlaylistSql;
      track_sql = kOlderTrackSql;
      database = SnapshotRole::kLibraryDatabase;
    }
  }

  SqliteDatabase db;
  if (int code = db.Open(record.SnapshotPath(database)); code != kDbOk) return code;
  std::vector<Playlist> playlists;
  if (int code = QueryPlaylists(db, playlist_sql, &playlists); code != kDbOk) return code;
  MediaSender sender(command);
  const std::string head = "{\"Playlist\":" + std::to_string(container_pid) + ",\"Count\":";
  for (Playlist& playlist : playlists) {
    if (playlist.container_pid != container_pid) continue;
    if (int code = QueryTracks(db, track_sql, container_pid, &playlist.item_pids); code != kDbOk) return code;
    sender.SendCount(kReportPlaylistTracks, head + std::to_string(playlist.item_pids.size()) + "}");
    sender.SendItems(kReportPlaylistTracks, PlaylistTracksJson(container_pid, playlist.item_pids));
    return kResultOk;
  }
  sender.SendCount(kReportPlaylistTracks, head + "-1}");
  return kResultOk;
}
