// The records of a media library listing and their JSON, as the host reads them.
//
// A media item is one track or video of the library; a playlist is one container with the pids of its tracks.
// The JSON members come in the order the host expects; an item's "total_time_ms" is its duration text.
//
// Thread safety: plain data and pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media {

struct MediaItem {
  int64_t item_pid = 0;
  std::string title;
  double total_time_ms = 0.0;
  int64_t media_kind = 0;
  int64_t media_type = 0;
  std::string comment;
  std::string description_long;
  std::string copyright;
  int32_t year = 0;
  int64_t date_modified = 0;
  std::string album;
  int64_t album_pid = 0;
  std::string artist;
  int64_t artist_pid = 0;
  std::string genre;
  int64_t genre_id = 0;
  std::string path;
  int64_t file_size = 0;
};

struct Playlist {
  int64_t container_pid = 0;
  std::string name;
  int64_t media_type = 0;
  int64_t parent_pid = 0;
  int32_t smart_is_folder = 0;
  std::vector<int64_t> item_pids;
};

// The lists of one listing, in the order they are sent.
struct MediaLists {
  std::vector<MediaItem> songs;
  std::vector<MediaItem> movies;
  std::vector<MediaItem> music_videos;
  std::vector<MediaItem> tv_shows;
  std::vector<Playlist> playlists;
};

// A double as a JSON number that reads back as the same value ("59500.0"); 0.0 for a value JSON cannot hold.
std::string JsonDouble(double value);

std::string ItemJson(const MediaItem& item);
std::string PlaylistJson(const Playlist& playlist);
// {"Playlist":pid,"item_pids":[...]}
std::string PlaylistTracksJson(int64_t container_pid, const std::vector<int64_t>& item_pids);

}  // namespace media
