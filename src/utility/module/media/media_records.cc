#include "utility/module/media/media_records.h"

#include <cmath>
#include <cstdio>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "utility/duration_text.h"
#include "utility/zeb_utility.h"

namespace media {

std::string JsonDouble(double value) {
  // Non-finite values have no JSON form; a database can still hold them.
  if (!std::isfinite(value)) return "0.0";
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.Double(value);
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string ItemJson(const MediaItem& item) {
  std::string json;
  json.reserve(320 + item.title.size() + item.path.size());
  json += "{\"item_pid\":" + std::to_string(item.item_pid);
  json += ",\"title\":" + JsonQuote(item.title);
  json += ",\"total_time_ms\":" + JsonQuote(DurationText(item.total_time_ms / 1000.0));
  json += ",\"total_time_ms_int\":" + JsonDouble(item.total_time_ms);
  json += ",\"media_kind\":" + std::to_string(item.media_kind);
  json += ",\"media_type\":" + std::to_string(item.media_type);
  json += ",\"comment\":" + JsonQuote(item.comment);
  json += ",\"description_long\":" + JsonQuote(item.description_long);
  json += ",\"copyright\":" + JsonQuote(item.copyright);
  json += ",\"year\":" + std::to_string(item.year);
  json += ",\"date_modified\":\"\",\"date_modified_int\":" + std::to_string(item.date_modified);
  json += ",\"album\":" + JsonQuote(item.album);
  json += ",\"album_pid\":" + std::to_string(item.album_pid);
  json += ",\"artist\":" + JsonQuote(item.artist);
  json += ",\"item_artist_pid\":" + std::to_string(item.artist_pid);
  json += ",\"genre\":" + JsonQuote(item.genre);
  json += ",\"genre_id\":" + std::to_string(item.genre_id);
  json += ",\"path\":" + JsonQuote(item.path);
  json += ",\"file_size\":" + std::to_string(item.file_size) + "}";
  return json;
}

std::string PlaylistJson(const Playlist& playlist) {
  return "{\"container_pid\":" + std::to_string(playlist.container_pid) + ",\"name\":" + JsonQuote(playlist.name) +
         ",\"container_media_type\":" + std::to_string(playlist.media_type) +
         ",\"parent_pid\":" + std::to_string(playlist.parent_pid) +
         ",\"smart_is_folder\":" + std::to_string(playlist.smart_is_folder) + "}";
}

std::string PlaylistTracksJson(int64_t container_pid, const std::vector<int64_t>& item_pids) {
  std::string json = "{\"Playlist\":" + std::to_string(container_pid) + ",\"item_pids\":[";
  for (size_t i = 0; i < item_pids.size(); ++i) {
    if (i > 0) json += ',';
    json += std::to_string(item_pids[i]);
  }
  return json + "]}";
}

}  // namespace media
