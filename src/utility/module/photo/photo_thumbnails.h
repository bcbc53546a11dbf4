// Thumbnails of photos, fetched from the device one by one and sent to the host one per message.
//
// For a photo path the thumbnail is looked for in this order, the first file that downloads with content winning:
//  1. the legacy thumbnail: when the path contains "DCIM/", "PhotoData/Sync/", "PhotoData/CPLAssets/" or
//     "PhotoData/CMMAssets/" (in that order), the text after the first of them with every "/" made "___",
//     under /DCIM/.THMB/<mtime mod 100, two digits>/<text>.<mtime>, mtime being the photo's modification time in
//     seconds as the device reports it: DCIM/100APPLE/IMG_0001.JPG changed at 1500000012 gives
//     /DCIM/.THMB/12/100APPLE___IMG_0001.JPG.1500000012;
//  2. for a path with an extension: /PhotoData/Metadata/<path with the extension JPG>, then with THM;
//  3. /PhotoData/Thumbnails/V2/<path>/5003.JPG.
// The paths come from the host: one with an empty, "." or ".." component, a backslash or a NUL byte could lead
// the file service out of those folders and is refused without asking the device.
//
// Each message's info is {"id":<identifier>,"path":"<thumbnail path>"}: the identifier as given when it is a
// decimal integer, otherwise as a JSON string, so that an identifier cannot add members of its own.
//
// Thread safety: pure functions, and a loop over the caller's device on the caller's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <rapidjson/document.h>

// The device side of the thumbnail search.
class ThumbnailDevice {
 public:
  virtual ~ThumbnailDevice() = default;
  // The file's modification time in seconds since 1970.
  virtual bool ModifyTime(const std::string& path, int64_t* seconds) = 0;
  // Appends the file's bytes.
  virtual bool Download(const std::string& path, std::string* bytes) = 0;
};

// Empty when the path lies under none of the legacy prefixes.
std::string LegacyThumbnailPath(const std::string& photo_path, int64_t modify_seconds);
// The Metadata and Thumbnails/V2 candidates, in order.
std::vector<std::string> FallbackThumbnailPaths(const std::string& photo_path);
bool IsSafePhotoPath(std::string_view path);
std::string ThumbnailInfo(const std::string& id, const std::string& thumbnail_path);

using ThumbnailSend = std::function<void(const std::string& info, const std::string& bytes)>;
// Every member of `block` (identifier → photo path): the thumbnail found is sent; one not found is logged.
// 0, or 6 when `stopped` says so between two thumbnails.
int SendThumbnails(const rapidjson::Value& block, ThumbnailDevice& device, const ThumbnailSend& send,
                   const std::function<bool()>& stopped);
