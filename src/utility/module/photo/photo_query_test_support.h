// What the photo query tests share: a sink that keeps every object, copies of the real libraries, and a plain
// SQLite reader for the independent answers the queries are held against.
//
// Thread safety: one test thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "utility/module/photo/photo_queries.h"

namespace photo_test {

class CollectingSink : public PhotoSink {
 public:
  bool Photo(PhotoRecord& photo) override {
    photos.push_back(photo);
    return true;
  }
  bool Album(const AlbumRecord& album) override {
    albums.push_back(album);
    return true;
  }
  void Restart() override {
    photos.clear();
    albums.clear();
  }
  std::vector<PhotoRecord> photos;
  std::vector<AlbumRecord> albums;
};

// A fresh temporary folder.
std::string TempFolder();
// A copy of the real library of `version` ("ios-13.4.1", "ios-14.1") with its companions; its path.
std::string CopyRealLibrary(const std::string& version);
// Every row of `sql` as integers (NULL as 0), read on a connection of its own.
std::vector<std::vector<int64_t>> IntegerRows(const std::string& path, const std::string& sql);
int64_t Single(const std::string& path, const std::string& sql);

}  // namespace photo_test
