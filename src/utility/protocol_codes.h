// The packet types and result codes of the host protocol, declared once.
//
// Every packet type Corvane takes from or sends to the host has one row here with its owner: the module class that
// carries the command out, or "ZEBClient" for the events and notices the client sends by itself. The command table
// rows and the modules use these names; a unit test proves that every module-owned type has exactly one row in the
// command table and that each number is the one the host expects.
//
// Result codes are the integers of a report's JSON "code". Modules share some numbers with different meanings (14
// is a failed MD5 check for uploads and a missing service for applications), so each has its own name here; the
// number is what the host sees.
//
// Thread safety: constants only.
#pragma once

#include <cstdint>

// X(name, number, owner)
#define CORVANE_PACKET_TYPES(X)                                  \
  X(kTypeDeviceConnected, 1, "ZEBClient")                        \
  X(kTypeDeviceDisconnected, 8, "ZEBClient")                     \
  X(kTypeMonitorStart, 9, "ZEBClient")                           \
  X(kTypeStartMonitor, 10, "ZEBModuleConnect")                   \
  X(kTypeDeviceAttached, 11, "ZEBClient")                        \
  X(kTypeConnectError, 12, "ZEBClient")                          \
  X(kTypeReannounce, 15, "ZEBModuleBasicInfo")                   \
  X(kTypeDriverDownload, 16, "ZEBModuleConnect")                 \
  X(kTypeDriverInstall, 17, "ZEBModuleConnect")                  \
  X(kTypeStoreEditionCheck, 18, "ZEBModuleConnect")              \
  X(kTypeStart, 19, "ZEBClient")                                 \
  X(kTypeContactList, 100, "ZEBModuleContact")                   \
  X(kTypeGroupList, 101, "ZEBModuleContact")                     \
  X(kTypeContactSave, 102, "ZEBModuleContact")                   \
  X(kTypeContactDelete, 103, "ZEBModuleContact")                 \
  X(kTypeGroupAdd, 104, "ZEBModuleContact")                      \
  X(kTypeGroupDelete, 105, "ZEBModuleContact")                   \
  X(kTypeGroupEdit, 106, "ZEBModuleContact")                     \
  X(kTypeSmsConversations, 201, "ZEBModuleSms")                  \
  X(kTypeBasicInfo, 300, "ZEBModuleBasicInfo")                   \
  X(kTypeRename, 303, "ZEBModuleBasicInfo")                      \
  X(kTypePhotoCameraRoll, 400, "ZEBModulePhoto")                 \
  X(kTypePhotoAlbums, 401, "ZEBModulePhoto")                     \
  X(kTypePhotoAlbumPhotos, 402, "ZEBModulePhoto")                \
  X(kTypePhotoThumbnails, 403, "ZEBModulePhoto")                 \
  X(kTypePhotoNamedOperation, 404, "ZEBModulePhoto")             \
  X(kTypeAppList, 501, "ZEBModuleApp")                           \
  X(kTypeAppIcons, 502, "ZEBModuleApp")                          \
  X(kTypeAppInstall, 504, "ZEBModuleApp")                        \
  X(kTypeAppUninstall, 505, "ZEBModuleApp")                      \
  X(kTypeAppArchive, 506, "ZEBModuleApp")                        \
  X(kTypeStopTask, 600, "ZEBModuleControl")                      \
  X(kTypeFileExport, 701, "ZEBModuleFile")                       \
  X(kTypeFileDownload, 702, "ZEBModuleFile")                     \
  X(kTypeFileUpload, 703, "ZEBModuleFile")                       \
  X(kTypeMediaLibrary, 1000, "ZEBModuleMedia")                   \
  X(kTypeBooksAndRingtones, 1001, "ZEBModuleMedia")              \
  X(kTypeRecordings, 1002, "ZEBModuleMedia")                     \
  X(kTypePlaylistTracks, 1010, "ZEBModuleMedia")                 \
  X(kTypeMediaItems, 1011, "ZEBModuleMedia")                     \
  X(kTypeAddBook, 1012, "ZEBModuleMedia")                        \
  X(kTypeRemoveBook, 1013, "ZEBModuleMedia")                     \
  X(kTypeNoteList, 1200, "ZEBModuleNote")                        \
  X(kTypeNoteSave, 1201, "ZEBModuleNote")                        \
  X(kTypeBackupNoteList, 1202, "ZEBModuleNote")                  \
  X(kTypeBookmarkList, 1400, "ZEBModuleBookmark")                \
  X(kTypeBookmarkSave, 1401, "ZEBModuleBookmark")                \
  X(kTypeBookmarkDelete, 1402, "ZEBModuleBookmark")              \
  X(kTypeCalendarList, 1500, "ZEBModuleCalendar")                \
  X(kTypeCalendarSave, 1501, "ZEBModuleCalendar")                \
  X(kTypeCalendarDelete, 1502, "ZEBModuleCalendar")              \
  X(kTypeBackup, 1600, "ZEBModuleiTunes")                        \
  X(kTypeRestore, 1601, "ZEBModuleiTunes")                       \
  X(kTypeBackupList, 1602, "ZEBModuleiTunes")                    \
  X(kTypeFindMyAssociated, 1603, "ZEBModuleiTunes")              \
  X(kTypeWillEncrypt, 1604, "ZEBModuleiTunes")                   \
  X(kTypeSetBackupPassword, 1605, "ZEBModuleiTunes")             \
  X(kTypeITunesRunning, 1606, "ZEBModuleiTunes")                 \
  X(kTypeEndITunes, 1607, "ZEBModuleiTunes")                     \
  X(kTypeBackupExtract, 1608, "ZEBModuleiTunes")                 \
  X(kTypeEraseAll, 1700, "ZEBModuleErase")                       \
  X(kTypeWipeFreeSpace, 1701, "ZEBModuleErase")                  \
  X(kTypePluginCommand, 1800, "ZEBModulePlugins")

// X(name, number, meaning)
#define CORVANE_RESULT_CODES(X)                                                        \
  X(kResultOk, 0, "success")                                                           \
  X(kResultNo, 1, "the answer to a yes-or-no question is no")                          \
  X(kResultBackupTaskError, 2, "no request could be read from the backup service")     \
  X(kResultAborted, 6, "the task was stopped")                                         \
  X(kResultNoDevice, 7, "no such device")                                              \
  X(kResultBadArguments, 8, "the command's arguments are unreadable")                  \
  X(kResultNoFileService, 12, "the file service cannot be started")                    \
  X(kResultIoFailed, 13, "a device or local file cannot be opened, read or written")   \
  X(kResultUploadMd5Mismatch, 14, "the uploaded file's MD5 is not the announced one") \
  X(kResultNoService, 14, "the device service cannot be started")                      \
  X(kResultBadTransfer, 15, "a packet does not fit its transfer")                      \
  X(kResultSyncFailed, 13, "the sync service cannot be started, refused the data class or broke off")  \
  X(kResultNoDatabaseCopy, 18, "no copy of the device's database could be taken")       \
  X(kResultNoPhotoDatabase, 18, "no copy of the photo database, or no album join table in it") \
  X(kResultDatabaseNotOpened, 19, "the local copy of a device database does not open")  \
  X(kResultStatementNotPrepared, 20, "a statement does not prepare on a device database") \
  X(kResultBadAlbumType, 21, "the album type is outside 0 to 8")                        \
  X(kResultBadJson, 21, "the command JSON is unreadable")                              \
  X(kResultNoContactId, 28, "the device assigned no identifier to the contact")       \
  X(kResultNoCalendarId, 29, "the device assigned no identifier to the calendar")     \
  X(kResultNoNoteId, 30, "the device assigned no identifier to the note")                             \
  X(kResultBackupDisconnected, 45, "the device left the backup before it was complete") \
  X(kResultBackupRefusedPath, 46, "the device named a path outside the backup folder")

namespace protocol {

#define CORVANE_DECLARE_TYPE(name, number, owner) inline constexpr uint32_t name = number;
CORVANE_PACKET_TYPES(CORVANE_DECLARE_TYPE)
#undef CORVANE_DECLARE_TYPE

#define CORVANE_DECLARE_RESULT(name, number, meaning) inline constexpr int name = number;
CORVANE_RESULT_CODES(CORVANE_DECLARE_RESULT)
#undef CORVANE_DECLARE_RESULT

struct PacketTypeRow {
  uint32_t type;
  const char* name;
  const char* owner;
};

inline constexpr PacketTypeRow kPacketTypes[] = {
#define CORVANE_TYPE_ROW(name, number, owner) {number, #name, owner},
    CORVANE_PACKET_TYPES(CORVANE_TYPE_ROW)
#undef CORVANE_TYPE_ROW
};

// Header codes of reports to the host.
inline constexpr uint16_t kHeaderNotice = 1;  // also the header of a successful final report
inline constexpr uint16_t kHeaderSuccess = 1;
inline constexpr uint16_t kHeaderProgress = 2;
inline constexpr uint16_t kHeaderAborted = 5;
inline constexpr uint16_t kHeaderFailure = 6;

}  // namespace protocol
