// The photo and album objects the photo queries produce, read from one result row and written as the JSON the
// host and the plug-ins receive.
//
//   photo  {"PATH":..,"Z_PK":..,"ZSAVEDASSETTYPE":..,"ZORIENTATION":..,"ZADDITIONALATTRIBUTES":..,
//           "ZDATECREATED":"<local date text>","ZMODIFICATIONDATE":"<local date text>","ZORIGINALFILESIZE":..}
//   album  {"COUNT":..,"Z_PK":..,"TITLE":..,"ZKIND":..,"TYPE":<album type>}
//
// Member order is fixed. Dates are reference dates (seconds since 2001, as a double; the fraction is dropped).
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>

#include "utility/db/sqlite_database.h"

struct PhotoRecord {
  std::string path;  // device-relative: directory + "/" + file name
  int64_t key = 0;
  int64_t saved_asset_type = 0;
  int64_t orientation = 0;
  int64_t additional_attributes = 0;
  int64_t date_created = 0;
  int64_t modification_date = 0;
  int64_t original_file_size = 0;
};

struct AlbumRecord {
  int64_t count = 0;
  int64_t key = 0;
  std::string title;
  int64_t kind = 0;
  int type = 0;
};

// False (and nothing read) when the row's path column is NULL: such a row is no photo.
bool ReadPhotoRow(const SqliteStatement& row, PhotoRecord* photo);
AlbumRecord ReadAlbumRow(const SqliteStatement& row, int album_type);

std::string PhotoJson(const PhotoRecord& photo);
std::string AlbumJson(const AlbumRecord& album);
