#include "utility/module/command_table.h"

#include "utility/module/app/zeb_module_app.h"
#include "utility/module/basicinfo/zeb_module_basicinfo.h"
#include "utility/module/bookmark/zeb_module_bookmark.h"
#include "utility/module/calendar/zeb_module_calendar.h"
#include "utility/module/connect/zeb_module_connect.h"
#include "utility/module/contact/zeb_module_contact.h"
#include "utility/module/control/zeb_module_control.h"
#include "utility/module/erase/zeb_module_erase.h"
#include "utility/module/file/zeb_module_file.h"
#include "utility/module/itunes/itunes_commands.h"
#include "utility/module/itunes/zeb_module_itunes.h"
#include "utility/module/media/zeb_module_media.h"
#include "utility/module/note/zeb_module_note.h"
#include "utility/module/photo/zeb_module_photo.h"
#include "utility/module/sms/zeb_module_sms.h"

namespace {

using namespace protocol;

ZEBModule& Control() {
  static ZEBModuleControl module;
  return module;
}

ZEBModule& Sms() {
  static ZEBModuleSms module;
  return module;
}

ZEBModule& Plugins() { return ZEBModulePlugins::Get(); }

ZEBModule& Photo() { return ZEBModulePhoto::Get(); }

ZEBModule& App() {
  static ZEBModuleApp module;
  return module;
}

ZEBModule& BasicInfo() {
  static ZEBModuleBasicInfo module;
  return module;
}

ZEBModuleConnect& ConnectModule() {
  static ZEBModuleConnect module;
  return module;
}

ZEBModule& Connect() { return ConnectModule(); }

// Erase-all ends with the backup module's restore, wired in when the table is built.
ZEBModuleErase& EraseModule() {
  static ZEBModuleErase module;
  return module;
}

ZEBModule& Erase() { return EraseModule(); }

ZEBModule& ITunes() {
  static ZEBModuleiTunes module;
  return module;
}

ZEBModule& Contact() {
  static ZEBModuleContact module;
  return module;
}

ZEBModule& Note() {
  static ZEBModuleNote module;
  return module;
}

ZEBModule& Bookmark() {
  static ZEBModuleBookmark module;
  return module;
}

ZEBModule& Calendar() {
  static ZEBModuleCalendar module;
  return module;
}

ZEBModule& Media() {
  static ZEBModuleMedia module;
  return module;
}

ZEBModule& File() {
  static ZEBModuleFile module;
  return module;
}

// What each module expects of the front door (see command_policy.h).
constexpr CommandPolicy kOnDevice{MarkerRule::kOneElseSuccess, kResultBadJson, DeviceRule::kRequired};
constexpr CommandPolicy kOnDeviceByUuidOrNumber{MarkerRule::kOneElseSuccess, kResultBadJson,
                                                DeviceRule::kRequiredByUuidOrNumber};
constexpr CommandPolicy kWithoutDevice{};
constexpr CommandPolicy kBackupOnDevice{MarkerRule::kOneElseSuccess, kResultBadArguments, DeviceRule::kRequired};
constexpr CommandPolicy kBackupWithoutDevice{MarkerRule::kOneElseSuccess, kResultBadArguments, DeviceRule::kNone};
// Monitor start and driver download answer another marker with 0; install and store check ignore it, and a
// command JSON they cannot forward to the elevated copy is 51.
constexpr CommandPolicy kConnect{MarkerRule::kOneElseSuccess, kResultBadJson, DeviceRule::kNone};
constexpr CommandPolicy kConnectElevated{MarkerRule::kOneElseSilent, 51, DeviceRule::kNone};
// The erase commands answer a missing "uuid" with silence and check the marker after the device.
constexpr CommandPolicy kErase{MarkerRule::kIgnored, kResultBadJson, DeviceRule::kOptional};
constexpr CommandPolicy kSms{MarkerRule::kOneElseSilent, kResultBadJson, DeviceRule::kOptional};
constexpr CommandPolicy kFileExport{MarkerRule::kIgnored, kResultBadArguments, DeviceRule::kOptional};
constexpr CommandPolicy kFileTransfer{MarkerRule::kIgnored, kResultBadArguments, DeviceRule::kOptional,
                                      kResultNoDevice, /*give_up_on_failure=*/true};
constexpr CommandPolicy kMedia{MarkerRule::kOneElseSuccess, kResultBadArguments, DeviceRule::kRequired};

// The sync modules read unparseable parameters as bad arguments (8).
constexpr CommandPolicy kSyncChange{MarkerRule::kOneElseSuccess, kResultBadArguments, DeviceRule::kRequired};
// Listing calendars runs whatever the marker; listing notes reads unparseable JSON as 21, as the backup query does.
constexpr CommandPolicy kCalendarList{MarkerRule::kIgnored, kResultBadArguments, DeviceRule::kRequired};
constexpr CommandPolicy kNoteList{MarkerRule::kIgnored, kResultBadJson, DeviceRule::kRequired};
constexpr CommandPolicy kBackupNotes{MarkerRule::kIgnored, kResultBadJson, DeviceRule::kNone};

const CommandRow kCommandRows[] = {
    {kTypeStartMonitor, kTypeStartMonitor, &Connect, "ZEBModuleConnect", kConnect},
    {kTypeReannounce, kTypeReannounce, &BasicInfo, "ZEBModuleBasicInfo", kOnDeviceByUuidOrNumber},
    {kTypeDriverDownload, kTypeDriverDownload, &Connect, "ZEBModuleConnect", kConnect},
    {kTypeDriverInstall, kTypeStoreEditionCheck, &Connect, "ZEBModuleConnect", kConnectElevated},
    {kTypeContactList, kTypeGroupEdit, &Contact, "ZEBModuleContact", kSyncChange},
    {kTypeSmsConversations, kTypeSmsConversations, &Sms, "ZEBModuleSms", kSms},
    {kTypeBasicInfo, kTypeBasicInfo, &BasicInfo, "ZEBModuleBasicInfo", kOnDeviceByUuidOrNumber},
    {kTypeRename, kTypeRename, &BasicInfo, "ZEBModuleBasicInfo", kOnDeviceByUuidOrNumber},
    {kTypePhotoCameraRoll, kTypePhotoNamedOperation, &Photo, "ZEBModulePhoto", kOnDevice},
    {kTypeAppList, kTypeAppIcons, &App, "ZEBModuleApp", kOnDevice},
    {kTypeAppInstall, kTypeAppArchive, &App, "ZEBModuleApp", kOnDevice},
    {kTypeStopTask, kTypeStopTask, &Control, "ZEBModuleControl", kWithoutDevice},
    {kTypeFileExport, kTypeFileExport, &File, "ZEBModuleFile", kFileExport},
    {kTypeFileDownload, kTypeFileUpload, &File, "ZEBModuleFile", kFileTransfer},
    {kTypeMediaLibrary, kTypeRecordings, &Media, "ZEBModuleMedia", kMedia},
    {kTypePlaylistTracks, kTypeRemoveBook, &Media, "ZEBModuleMedia", kMedia},
    {kTypeNoteList, kTypeNoteList, &Note, "ZEBModuleNote", kNoteList},
    {kTypeNoteSave, kTypeNoteSave, &Note, "ZEBModuleNote", kSyncChange},
    {kTypeBackupNoteList, kTypeBackupNoteList, &Note, "ZEBModuleNote", kBackupNotes},
    {kTypeBookmarkList, kTypeBookmarkDelete, &Bookmark, "ZEBModuleBookmark", kSyncChange},
    {kTypeCalendarList, kTypeCalendarList, &Calendar, "ZEBModuleCalendar", kCalendarList},
    {kTypeCalendarSave, kTypeCalendarDelete, &Calendar, "ZEBModuleCalendar", kSyncChange},
    {kTypeBackup, kTypeRestore, &ITunes, "ZEBModuleiTunes", kBackupOnDevice},
    {kTypeBackupList, kTypeBackupList, &ITunes, "ZEBModuleiTunes", kBackupWithoutDevice},
    {kTypeFindMyAssociated, kTypeSetBackupPassword, &ITunes, "ZEBModuleiTunes", kBackupOnDevice},
    {kTypeITunesRunning, kTypeEndITunes, &ITunes, "ZEBModuleiTunes", kBackupWithoutDevice},
    {kTypeBackupExtract, kTypeBackupExtract, &ITunes, "ZEBModuleiTunes", kBackupOnDevice},
    {kTypeEraseAll, kTypeWipeFreeSpace, &Erase, "ZEBModuleErase", kErase},
    {kTypePluginCommand, kTypePluginCommand, &Plugins, "ZEBModulePlugins", kWithoutDevice},
};

const SubCommandRow kSubCommandRows[] = {
    {BAS_SUB_COMMAND_SEND_RESULT, &ZEBModulePlugins::OnSendResult},
    {BAS_SUB_COMMAND_DECOMPRESS_ZIP_STREAM, &ZEBModulePlugins::DecompressZipStream},
    {BAS_SUB_COMMAND_GET_PROJECT_TEMP_DIR, &ZEBModulePlugins::GetProjectTempDir},
    {BAS_SUB_COMMAND_SMS_QUERY_CONVERSATION_LIST, &ZEBModuleSms::QueryConversationList},
    {BAS_SUB_COMMAND_PHOTO_QUERY_CAMERA_ROLL_LIST, &ZEBModulePhoto::QueryCameraRollList},
    {BAS_SUB_COMMAND_PHOTO_QUERY_ALBUM_LIST, &ZEBModulePhoto::QueryAlbumList},
    {BAS_SUB_COMMAND_PHOTO_QUERY_PHOTO_FROM_ALBUM, &ZEBModulePhoto::QueryPhotoFromAlbum},
};

}  // namespace

std::span<const CommandRow> CommandRows() { return kCommandRows; }

void AttachChildLink(ZEBChildLink* link) { ConnectModule().AttachChildLink(link); }

std::span<const SubCommandRow> SubCommandRows() { return kSubCommandRows; }

bool BuildCommandMap(std::span<const CommandRow> rows, ZEBReportSink* sink, CommandMap* map, std::string* error) {
  map->clear();
  for (const CommandRow& row : rows) {
    ZEBModule* module = &row.module();
    module->AttachSink(sink);
    for (uint32_t type = row.first_type; type <= row.last_type; ++type) {
      if (!map->emplace(type, CommandEntry{module, row.policy}).second) {
        *error = "packet type " + std::to_string(type) + " has two owners";
        return false;
      }
    }
  }
  return true;
}

bool BuildCommandTable(ZEBReportSink* sink, CommandMap* map, std::string* error) {
  if (!BuildCommandMap(CommandRows(), sink, map, error)) return false;
  EraseModule().SetRestoreOperation(&itunes::RestoreFromBackup);
  for (const SubCommandRow& row : SubCommandRows()) {
    if (!ZEBModulePlugins::Get().RegisterSubCommand(row.name, row.handler)) {
      *error = std::string("sub-command ") + row.name + " has two handlers";
      return false;
    }
  }
  return true;
}
