// ZEBModulePhoto: the device's photo library: the camera roll (400), the albums with their photo counts (401),
// the photos of one album (402), thumbnails (403) and a named operation (404); and the three queries offered to
// plug-ins by name on the plug-in service table.
//
// Host commands, marker 1 (another marker ends the command with 0 and does nothing), JSON {"uuid":"D","info":{..}}:
//   400, 401  "info": {"refresh":R}; 402 adds "album_id" and "album_type". The device's Photos.sqlite is copied
//             (with its -wal and -shm) once per device and re-read until a command asks for refresh (R != 0).
//             Reports of the command's type: a count report {"Count":N}, then the objects in JSON arrays of at
//             most 600 photos or 100 albums (photo_records.h). Results: 0; 12 no file service; 13 the listing
//             could not be held; 18 no snapshot, or no album join table; 19, 20 the copy or a statement; 21 an
//             album type outside 0 to 8, or unreadable JSON; 6 stopped.
//   403       after the JSON, a zlib-compressed JSON object {"<identifier>":"<photo path>",...}: one report per
//             thumbnail found (photo_thumbnails.h), data = its bytes. 0; 8 unreadable block; 12; 6.
//   404       the block's "name": the named operation registered under it runs; 0 when it succeeds, else 1.
//
// Plug-in sub-commands (payload: the query request as JSON text {"path":..,"productVersion":..[,"albumId":..,
// "albumType":..]}): on success the result is 1 and the payload becomes a rapidjson::Document {"photos":[..]}
// or {"albums":[..]} that the caller owns (corvane/plugin.h); otherwise the result is 0 and the payload is left.
//
// Thread safety: commands of any devices may run at once; snapshots are taken under the module's lock, queries run
// on private connections; the form tables are shared (photo_forms.h).
#pragma once

#include <functional>
#include <map>
#include <string>

#include "corvane/plugin.h"
#include "utility/module/photo/photo_forms.h"
#include "utility/module/zeb_module.h"

class ZEBDeviceService;

class ZEBModulePhoto : public ZEBModule {
 public:
  using NamedOperation = std::function<bool()>;

  static ZEBModulePhoto& Get();

  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;

  // Registers the operation a 404 command runs by name; false when the name is taken. Other modules register
  // theirs at start-up, before commands arrive.
  bool RegisterNamedOperation(const std::string& name, NamedOperation operation);

  static void QueryCameraRollList(BASObserveData* message);
  static void QueryAlbumList(BASObserveData* message);
  static void QueryPhotoFromAlbum(BASObserveData* message);

 private:
  ZEBModulePhoto() = default;

  int RunListing(ZEBCommand& command, PhotoQuery query);
  int RunThumbnails(ZEBCommand& command);
  int RunNamedOperation(ZEBCommand& command);
  // The local copy of the device's photo database, taken now when there is none or `refresh` asks for it; empty
  // when it cannot be taken.
  std::string PhotoDatabase(ZEBDeviceConnection& record, const ZEBDeviceService& afc, bool refresh);
  static void RunPluginQuery(PhotoQuery query, BASObserveData* message);

  PhotoForms forms_;
  std::map<std::string, NamedOperation> named_operations_;
};
