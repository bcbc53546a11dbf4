// Media libraries for tests: the older pair (Library.itdb and Locations.itdb) and small current-schema libraries
// built from a few rows, the real libraries' copies, and independent SQL over them.
//
// The builders write databases with the sqlite3 library directly and know nothing of the module's queries, so that
// the tests hold the module's lists against what the tables say.
//
// Thread safety: plain functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media_test {

struct TrackRow {
  int64_t pid = 0;
  std::string title;
  int64_t media_kind = 1;
  double total_time_ms = 1000;
  std::string location;  // file name under the base location; "" for none
  int64_t file_size = 0;
};

// The real library folder ("ios-13.4.1" or "ios-14.1") copied with its companions into `folder`; the database path.
std::string CopyRealLibrary(const std::string& version, const std::string& folder);

// Runs `sql` on the database at `path` (created when missing). False with *error on failure.
bool RunSql(const std::string& path, const std::string& sql, std::string* error);
// The first column of every row of `sql`, as text ("" for NULL).
std::vector<std::string> Column(const std::string& path, const std::string& sql);
// The integer of the first row's first column; -1 when there is none.
int64_t Scalar(const std::string& path, const std::string& sql);

// A current-schema library with these tracks under base location "iTunes_Control/Music/F00" and the playlists
// given as (pid, name, track pids); `with_container_item` false keeps the tracks in container_items blobs instead.
struct PlaylistRow {
  int64_t pid = 0;
  std::string name;
  std::vector<int64_t> item_pids;
};
bool WriteCurrentLibrary(const std::string& path, const std::vector<TrackRow>& tracks,
                         const std::vector<PlaylistRow>& playlists, bool with_container_item, std::string* error);

// The older pair: Library.itdb with the tracks and playlists, Locations.itdb with their locations under
// "iTunes_Control/Music/F01" (a track with an empty location has none).
bool WriteOlderLibrary(const std::string& library_path, const std::string& locations_path,
                       const std::vector<TrackRow>& tracks, const std::vector<PlaylistRow>& playlists,
                       std::string* error);

}  // namespace media_test
