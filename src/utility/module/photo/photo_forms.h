// PhotoForms: which form of a photo query a device's database gets.
//
// For each of the three queries a table maps the version keys 4 to 14 to a form (4 and 5: the old form; 6 to 14:
// the newer one), filled at construction. A version text seen before goes straight to the form that worked for
// it; otherwise the forms are tried in the candidate order of photo_version.h until one returns 0, which is then
// remembered for that text. A form that does not fit the database fails, so the chain settles on the one that
// fits. When none succeeds, the last candidate's code is the result.
//
// An album type outside 0 to 8 is refused (21) before any form runs: the old form would otherwise ignore it and
// take the place of the newer form's answer.
//
// Thread safety: the tables are constant after construction; the cache is behind a mutex; Run may be called from
// any number of threads at once.
#pragma once

#include <array>
#include <map>
#include <mutex>
#include <string>

#include "utility/module/photo/photo_queries.h"

enum class PhotoQuery { kCameraRoll = 0, kAlbumList = 1, kAlbumPhotos = 2 };

class PhotoForms {
 public:
  using Form = int (*)(const PhotoRequest& request, PhotoSink& sink);

  PhotoForms();

  int Run(PhotoQuery query, const PhotoRequest& request, PhotoSink& sink);

  // The form remembered for a version text, or null.
  Form Remembered(PhotoQuery query, const std::string& version) const;

 private:
  static size_t Index(PhotoQuery query) { return static_cast<size_t>(query); }

  std::array<std::map<int, Form>, 3> tables_;
  mutable std::mutex mutex_;
  std::array<std::map<std::string, Form>, 3> remembered_;
};
