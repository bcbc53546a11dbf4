// ZEBModuleMedia: the device's media library, books, ringtones and voice recordings (packet types 1000 to 1013).
//
// Every command's payload is the marker, NUL and a JSON object with "uuid" (the device) and "info"; a marker other
// than 1 ends the command at once with code 0, unreadable JSON with 8, an unknown device with 7, a file service
// that cannot be started with 12 (the front door answers the first three). The module never reads a device
// database in place: each listing first copies it into the device folder (a snapshot, under the module's lock)
// and queries the copy.
//
// 1000 the media library. Reports, in this order: songs (packet type 1004), movies (1005), music videos (1007),
//      TV shows (1006), each a count report (stage 1, info {"Count":N}) and then arrays of at most 100 item records
//      (stage 2, data); playlists (1009) the same way; then per playlist (1010) a count report
//      {"Playlist":P,"Exist":1,"Count":N} and one report {"Playlist":P,"item_pids":[...]}. Items come from
//      MediaLibrary.sqlitedb, or from Library.itdb with Locations.itdb on devices without it (neither: every
//      list empty, code 0). An item is listed only when its file is a regular file on the device. Codes: 19 the
//      copy cannot be opened, 20 the item query cannot be prepared (nothing is sent).
// 1001 books and ringtones: books (1008) {"path","title","size","artist","purchase","gene"} then ringtones (1003)
//      {"path","title","size","duration"}, each a count report and arrays of at most 100. Books come from
//      Books.plist ("/Books/") and Purchases.plist ("/Books/Purchases/", "purchase" "1"), ringtones from
//      Ringtones.plist, both completed by the legacy track database iTunesCDB (see book_lists.h and
//      legacy_track_database.h); only files the device has are listed. A list the device lacks adds nothing.
// 1002 the voice recordings: one count report (1002) {"Count":N} and one report whose data is a JSON array of every
//      recording {"path","size","label","duration_int","duration","date_int","date","source"}, read from
//      Recordings.db (source 1), AssetManifest.plist (2) and the ".composition" folders (3), a file named twice
//      listed once with its first source. Only files the device has (and that are not empty) are listed. Codes:
//      19 or 20 when Recordings.db is there but cannot be read. A device without "/Recordings" still gets its
//      (empty) list and code 0.
// 1010 the tracks of one playlist: info {"container_pid":P,"refresh":R}. With R non-zero a new snapshot is taken
//      (18 when neither database can be copied); with R zero the copy of the last snapshot is read. Reports
//      (1010): {"Playlist":P,"Count":N} and {"Playlist":P,"item_pids":[...]}, or {"Playlist":P,"Count":-1} alone
//      for an unknown playlist.
// 1011 a list of items: info {"item_pids":[...]} is read and not used; 8 when it is not an array, else 0.
// 1012 add a book. The data part is a zlib stream of {"path":P,"remote":B}: P is a local ".pdf" file or ".epub"
//      folder, uploaded (a folder with its content), or with B true a device path, moved. The book is named
//      "/Books/" + four random upper-case letters + its file name (drawn again while the device has the name) and
//      entered in Books.plist {"Name","Path","Persistent ID","Has Artwork":false}; one report (1012) then holds
//      a one-element array of its book record. A book whose list update fails is taken away again.
// 1013 remove a book. The data part is a zlib stream of {"path":P}, P a device path inside "/Books/": its entry
//      leaves Purchases.plist (under "/Books/Purchases/") or Books.plist, then the ".pdf" file or ".epub" folder
//      is removed. No report but the final one.
//      Codes of both (see book_store.h): 8 an unreadable block, 34 the list cannot be uploaded, 37 the book
//      cannot be placed or removed (or its path leaves the book folders), 39 the device's list is not one.
//
// A stopped task ends with 6 between the steps of a listing; a device that goes away while its files are being
// checked ends the listing with 7 rather than with a shortened list.
//
// Thread safety: commands run on any number of pool workers at once; the module's mutex is held only while a
// snapshot is taken, so that two commands never write the same local copy at once.
#pragma once

#include "utility/module/zeb_module.h"

namespace media {
// Packet types of the data reports.
inline constexpr uint32_t kReportRecordings = 1002;
inline constexpr uint32_t kReportRingtones = 1003;
inline constexpr uint32_t kReportSongs = 1004;
inline constexpr uint32_t kReportMovies = 1005;
inline constexpr uint32_t kReportTvShows = 1006;
inline constexpr uint32_t kReportMusicVideos = 1007;
inline constexpr uint32_t kReportBooks = 1008;
inline constexpr uint32_t kReportPlaylists = 1009;
inline constexpr uint32_t kReportPlaylistTracks = 1010;
inline constexpr uint32_t kReportAddedBook = 1012;
}  // namespace media

class ZEBModuleMedia : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;

 private:
  int ListLibrary(ZEBCommand& command);
  int ListPlaylistTracks(ZEBCommand& command);
  int ListRecordings(ZEBCommand& command);
  int ListBooksAndRingtones(ZEBCommand& command);
  int AddBook(ZEBCommand& command);
  int RemoveBook(ZEBCommand& command);
  int AcceptItems(ZEBCommand& command);
};
