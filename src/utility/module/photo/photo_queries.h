// The photo queries in their two forms: the old one (iOS 4 and 5: Photo, PhotoAlbum, PhotoAlbumToPhotoJoin) and
// the newer one (an asset table, ZGENERICALBUM and a numbered join table, read through the schema). Each opens
// the database copy named in the request on a connection of its own and hands its objects to the sink.
//
// Results: 0; 18 (newer form) no join table or asset column; 19 the copy does not open; 20 a statement does not
// prepare; 21 (album photos) an album type outside 0 to 8; 6 when the sink asks to stop. A form that does not fit
// the database fails with 18 or 20 before it hands over any object, except the newer album list, whose count
// statements may have produced albums before its last statement fails.
//
// Thread safety: any number of queries may run at once, each on its own connection.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "utility/module/photo/photo_records.h"
#include "utility/protocol_codes.h"

inline constexpr int kPhotoQueryStopped = protocol::kResultAborted;
inline constexpr int kPhotoBadAlbumType = protocol::kResultBadAlbumType;

struct PhotoRequest {
  std::string path;             // the local copy of Photos.sqlite
  std::string product_version;  // the device's iOS version, e.g. "13.4.1"
  int64_t album_id = 0;
  int album_type = 0;
};

// Where a query's objects go. A callback that returns false stops the query (result 6). `Restart` forgets what
// an earlier, failed form handed over.
class PhotoSink {
 public:
  virtual ~PhotoSink() = default;
  virtual bool Photo(PhotoRecord& photo) = 0;
  virtual bool Album(const AlbumRecord& album) = 0;
  virtual void Restart() = 0;
};

int CameraRollNewForm(const PhotoRequest& request, PhotoSink& sink);
int CameraRollOldForm(const PhotoRequest& request, PhotoSink& sink);
int AlbumListNewForm(const PhotoRequest& request, PhotoSink& sink);
int AlbumListOldForm(const PhotoRequest& request, PhotoSink& sink);
int AlbumPhotosNewForm(const PhotoRequest& request, PhotoSink& sink);
int AlbumPhotosOldForm(const PhotoRequest& request, PhotoSink& sink);
