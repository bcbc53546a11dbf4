// PhotoListing: the objects of one photo query on their way to the host, held in an anonymous temporary file so
// that a camera roll of any size costs one batch of memory, not the whole list.
//
// The host needs the count before the first object, and the count is only known once the query has run, so the
// objects are written to the file as JSON lines while the query runs and replayed in batches (600 photos or 100
// albums per report) afterwards. A photo whose original size is negative gets the size the device reports for
// its file, when a lookup is given and it answers. The stop check is asked every so often while the query runs.
//
// Thread safety: one listing belongs to the thread of one command.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "utility/listing/listing_reporter.h"
#include "utility/module/photo/photo_queries.h"

inline constexpr size_t kPhotosPerReport = 600;
inline constexpr size_t kAlbumsPerReport = 100;

class PhotoListing : public PhotoSink {
 public:
  using SizeLookup = std::function<bool(const std::string& path, int64_t* size)>;
  using StopCheck = std::function<bool()>;

  PhotoListing(SizeLookup size_lookup, StopCheck stopped);
  ~PhotoListing() override;
  PhotoListing(const PhotoListing&) = delete;
  PhotoListing& operator=(const PhotoListing&) = delete;

  bool Photo(PhotoRecord& photo) override;
  bool Album(const AlbumRecord& album) override;
  void Restart() override;

  // False when the temporary file could not be made or written.
  bool ok() const { return ok_; }
  int64_t count() const { return count_; }
  // The count report, then the objects in reports of `options.batch`. False when the file cannot be read back.
  bool Replay(ListingReporter& reporter);

 private:
  bool Write(const std::string& json);

  const SizeLookup size_lookup_;
  const StopCheck stopped_;
  std::FILE* file_ = nullptr;
  bool ok_ = true;
  int64_t count_ = 0;
};
