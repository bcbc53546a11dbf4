// Generated photo libraries for the photo tests and the benchmark: the newer shape (an asset table, ZGENERICALBUM,
// ZADDITIONALASSETATTRIBUTES and a numbered join table) with any join number and with or without the optional
// columns, and the old shape of iOS 4 and 5.
//
// Photo i (1-based) of a newer library has the key i, the path DCIM/100APPLE/IMG_<i, five digits>.JPG, the
// creation date 600000000.5 + 37 * i (so the camera roll is in descending key order) and lies in album
// (i % albums) + 1. Every 7th is a favorite, every 11th a selfie, every 13th a screenshot (saved type 256), every
// 17th a video, every 19th a live photo, every 23rd a burst pick, every 29th in the trash; every 31st has the
// original size -1, the others 1000 + i. Its attributes row has the key i + 1000, as on iOS 14 where the two
// keys differ. Album 1 has no title, the last is of kind 1000 ("Camera"), the others are "Album <n>" of kind 2;
// album 2 is in the trash when there are at least four.
//
// Thread safety: each call works on its own file.
#pragma once

#include <cstdint>
#include <string>

struct PhotoLibrarySpec {
  std::string asset_table = "ZASSET";
  int join_number = 26;
  bool trashed_state = true;
  bool favorite = true;
  bool kind_subtype = true;
  bool album_trashed_state = true;
  int photos = 100;
  int albums = 5;
  int photos_with_null_path = 0;  // extra rows whose file name is NULL
  bool negative_sizes = true;     // every 31st photo's original size is -1
};

// Writes a new library at `path` (replacing a file there); false with *error on failure.
bool WritePhotoLibrary(const std::string& path, const PhotoLibrarySpec& spec, std::string* error);

// The old shape: `photos` photos in `albums` albums (album 1 of kind 1000), photo i in album (i % albums) + 1.
bool WriteOldPhotoLibrary(const std::string& path, int photos, int albums, std::string* error);

// The device path of generated photo i.
std::string GeneratedPhotoPath(int i);
