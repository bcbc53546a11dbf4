// The queries over a local copy of the device's media library: the items, the playlists and their tracks, for the
// current database (MediaLibrary.sqlitedb) and for the older pair (Library.itdb with Locations.itdb).
//
// The SQL texts are the ones the host's logs have always shown, exact to the blank; a failure to prepare one is
// logged with its text. Items whose total time is 0 are not listed. The current schema classifies by media kind
// (2 movies, 33 music videos, 64 TV shows, anything else songs); the older one keeps only items with a location
// and takes 1 as songs, 2 as movies, then bit 64 as TV shows and bit 32 as music videos, dropping the rest.
//
// Thread safety: a query uses only the connection it is given, which belongs to the calling thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "utility/db/sqlite_database.h"
#include "utility/module/media/media_records.h"

namespace media {

extern const char kItemSql[];
extern const char kOlderItemSql[];
extern const char kLocationsSql[];
extern const char kPlaylistSql1[];
extern const char kPlaylistSql2[];
extern const char kOlderPlaylistSql[];
extern const char kTrackSql[];
extern const char kOlderTrackSql[];
extern const char kTrackBlobSql[];

// The current schema's items into the four lists. 0, or 20 when the query cannot be prepared.
int QueryMediaItems(SqliteDatabase& db, MediaLists* lists);

// The older schema's items, with path and size from the locations copy at `locations_path`. 0 or 20; a
// locations copy that cannot be read leaves every item without a location, so none is listed.
int QueryOlderItems(SqliteDatabase& db, const std::string& locations_path, MediaLists* lists);

// The playlists, with `sql` or, without it, the current schema's two texts in turn. 0 or 20.
int QueryPlaylists(SqliteDatabase& db, std::optional<std::string_view> sql, std::vector<Playlist>* playlists);

// The item pids of one playlist with `sql`; when it cannot be prepared, from the blob column of container_items
// (little-endian 64-bit pids). 0 or 20.
int QueryTracks(SqliteDatabase& db, std::string_view sql, int64_t container_pid, std::vector<int64_t>* item_pids);

// Appends the pids a container_items blob holds; trailing bytes that make no whole pid are ignored.
void AppendBlobPids(std::string_view blob, std::vector<int64_t>* item_pids);

}  // namespace media
