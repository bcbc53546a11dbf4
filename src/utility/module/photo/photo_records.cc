#include "utility/module/photo/photo_records.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "utility/date_text.h"

namespace {

// The reference date of a column: read as a double and truncated, as the databases store fractions of seconds.
int64_t ReferenceSeconds(const SqliteStatement& row, int column) {
  double value = row.Double(column);
  // A value beyond the range of int64 (a corrupt row) would make the conversion undefined.
  if (!(value > -9.2e18 && value < 9.2e18)) return 0;
  return static_cast<int64_t>(value);
}

}  // namespace

bool ReadPhotoRow(const SqliteStatement& row, PhotoRecord* photo) {
  if (sqlite3_column_type(row.get(), 2) == SQLITE_NULL) return false;
  photo->path = row.Text(2);
  photo->key = row.Int64(0);
  photo->saved_asset_type = row.Int64(1);
  photo->orientation = row.Int64(3);
  photo->additional_attributes = row.Int64(4);
  photo->date_created = ReferenceSeconds(row, 5);
  photo->modification_date = ReferenceSeconds(row, 6);
  photo->original_file_size = row.Int64(7);
  return true;
}

AlbumRecord ReadAlbumRow(const SqliteStatement& row, int album_type) {
  return AlbumRecord{row.Int64(0), row.Int64(1), row.Text(2), row.Int64(3), album_type};
}

std::string PhotoJson(const PhotoRecord& photo) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("PATH");
  writer.String(photo.path.data(), static_cast<rapidjson::SizeType>(photo.path.size()));
  writer.Key("Z_PK");
  writer.Int64(photo.key);
  writer.Key("ZSAVEDASSETTYPE");
  writer.Int64(photo.saved_asset_type);
  writer.Key("ZORIENTATION");
  writer.Int64(photo.orientation);
  writer.Key("ZADDITIONALATTRIBUTES");
  writer.Int64(photo.additional_attributes);
  writer.Key("ZDATECREATED");
  writer.String(ReferenceDateText(photo.date_created).c_str());
  writer.Key("ZMODIFICATIONDATE");
  writer.String(ReferenceDateText(photo.modification_date).c_str());
  writer.Key("ZORIGINALFILESIZE");
  writer.Int64(photo.original_file_size);
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string AlbumJson(const AlbumRecord& album) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("COUNT");
  writer.Int64(album.count);
  writer.Key("Z_PK");
  writer.Int64(album.key);
  writer.Key("TITLE");
  writer.String(album.title.data(), static_cast<rapidjson::SizeType>(album.title.size()));
  writer.Key("ZKIND");
  writer.Int64(album.kind);
  writer.Key("TYPE");
  writer.Int(album.type);
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}
