#include "command_list.h"

namespace corvane_host {
namespace {

constexpr ProgressShape kStreamed{.done = "info.offset+info.offset_length",
                                  .total = "info.size",
                                  .unit = ProgressUnit::kBytes,
                                  .label = "{command.info.path}"};
// The module's answers name the next block it still needs; blocks are asked for in order.
constexpr ProgressShape kUploaded{.done = "info.offset",
                                  .total = "command.info.size",
                                  .unit = ProgressUnit::kBytes,
                                  .label = "{command.info.name}"};
constexpr ProgressShape kBackupSteps{.done = "code", .total = "10000", .stage = 1};
constexpr ProgressShape kPercentPerApp{.done = "info.percent", .total = "100", .label = "{info.bundle_id}"};
constexpr ProgressShape kPercent{.done = "info.percent", .total = "100"};
constexpr ProgressShape kDriverBytes{.done = "info.step",
                                     .total = "info.total",
                                     .unit = ProgressUnit::kBytes,
                                     .label = "package {info.index} of {info.count}"};

const CommandInfo kCommands[] = {
    {10, 10, "start the device monitor", "`{}`; the monitor start report (type 9) follows; code and info `{\"error_code\":N}`",
     false},
    {15, 15, "re-announce a device", "`{\"uuid\":U}` or `{\"code\":N}`; nothing for a ready device", true},
    {16, 16, "download the driver packages",
     "`{\"info\":{\"url\":BASE}}`; packages with a matching `.txt` MD5 go to `<work folder>/ios_driver/`; progress "
     "`{\"total\",\"step\",\"index\",\"count\"}`; final header code 3 with the JSON array of verified paths",
     false, &kDriverBytes},
    {17, 18, "install the drivers, store-edition check",
     "17 `{\"info\":[paths]}`: run by an elevated copy (`CORVANE_ELEVATE`) with `CORVANE_INSTALLER` (default dpkg); "
     "its reports are relayed as they are; 51 failed install, 53 no copy; 18 answers 54 here",
     false},
    {100, 100, "list contacts and groups",
     "groups as type 101, then contacts: stage 1 `{\"Count\":N}` (-1: kept in an account), stage 2 objects of up "
     "to 100 id: record; dates in local time",
     true},
    {102, 102, "add or edit a contact",
     "`{\"uuid\":U,\"com.apple.contacts.Contact\":XML,...}`: one ready change message per entity; 28 when the "
     "device gives the contact no identifier",
     true},
    {103, 103, "delete a contact", "`{\"uuid\":U,\"id\":ID}`", true},
    {104, 104, "add a contact group",
     "`{\"uuid\":U,\"id\":TEMP,\"name\":N}`; the device's identifier comes as a stage 2 report", true},
    {105, 105, "delete a contact group", "`{\"uuid\":U,\"id\":ID}`", true},
    {106, 106, "edit a contact group", "`{\"uuid\":U,\"id\":ID,\"guid\":G,\"name\":N,\"members\":[...]}`", true},
    {201, 201, "conversations of a messages database",
     "`{\"uuid\":U,\"info\":{\"sms_db_path\":P}}` (a local sms.db, opened read-only); stage 1 `{\"Count\":N}`, "
     "stage 2 per conversation, stage 3 per message (JSON in the data part)",
     false},
    {300, 300, "basic information",
     "two reports: the identity object, then battery cycle count and storage by category", true},
    {303, 303, "rename", "second JSON text `{\"name\":\"...\"}` in the data part", true},
    {400, 402, "camera roll, albums, photos of an album",
     "`{\"uuid\":U,\"info\":{\"refresh\":R}}` (402 adds `album_id`, `album_type` 0-8); stage 1 "
     "`{\"Count\":N}`, then JSON arrays of up to 600 photos or 100 albums",
     true},
    {403, 403, "photo thumbnails",
     "data part: zlib-compressed `{\"<id>\":\"DCIM/100APPLE/IMG_0001.JPG\",...}`; one report per thumbnail found "
     "with `{\"id\":..,\"path\":..}` and its bytes",
     true, nullptr, {SaveKind::kImages, "id"}},
    {404, 404, "named photo operation", "data part: zlib-compressed `{\"name\":N}`; 0 when it succeeds, else 1",
     true},
    {501, 501, "list applications",
     "stage 1 `{\"Count\":N}`, then one report per application whose data part is its JSON object", true},
    {502, 502, "application icons",
     "data part: JSON array of bundle ids; one report per icon (PNG, type 1) with `{\"bundle_id\":...}`", true,
     nullptr, {SaveKind::kImages, "bundle_id"}},
    {504, 504, "install packages",
     "data part: JSON array of local .ipa paths; per package: its information, the store icon, progress "
     "`{\"bundle_id\",\"percent\"}`, outcome",
     true, &kPercentPerApp, {SaveKind::kImages, "bundle_id", "-store"}},
    {505, 506, "uninstall, archive",
     "data part: JSON array of bundle ids; progress and outcome per identifier", true, &kPercentPerApp},
    {600, 600, "stop a task", "`{\"info\":{\"task_id\":\"T\"}}`", false},
    {701, 701, "export device items",
     "`{\"uuid\":U,\"native_dir\":D}` (default `<work folder>/Export`); data part "
     "`{\"1\":{\"path\":\"/Books/x.EPUB\"},...}`; \".EPUB\" folders become one zip",
     true, nullptr, {SaveKind::kLocalFolder, "native_dir"}},
    {702, 702, "stream a device file to the host",
     "`{\"uuid\":U,\"stage\":1,\"info\":{\"path\":P}}`; the file follows in 4 MiB chunks (stage 2, zlib, type 0), "
     "then the final report; 600 stops it",
     true, &kStreamed, {SaveKind::kStream}},
    {703, 703, "upload a file, resumable",
     "start `{\"uuid\":U,\"stage\":1,\"info\":{\"name\",\"media\",\"dir\",\"size\",\"md5\"}}`; answers name the next "
     "4 MiB block; blocks go as `{\"stage\":2,\"code\":0,\"info\":{\"offset\",\"offset_length\"}}` + bytes; a wrong "
     "MD5 gives 14 and leaves nothing; `corvane-host upload` drives it",
     true, &kUploaded},
    {1000, 1000, "list the media library",
     "songs (1004), movies (1005), music videos (1007), TV shows (1006), playlists (1009): each `{\"Count\":N}` "
     "then arrays of 100; per playlist (1010) `{\"Playlist\":P,\"Exist\":1,\"Count\":N}` and its `item_pids`",
     true},
    {1001, 1001, "list books and ringtones",
     "books (1008) `{\"path\",\"title\",\"size\",\"artist\",\"purchase\",\"gene\"}` then ringtones (1003) "
     "`{\"path\",\"title\",\"size\",\"duration\"}`: each `{\"Count\":N}` then arrays of 100",
     true},
    {1002, 1002, "list voice recordings",
     "`{\"Count\":N}`, then one array of `{\"path\",\"size\",\"label\",\"duration_int\",\"duration\",\"date_int\","
     "\"date\",\"source\"}` (1 database, 2 asset manifest, 3 composition)",
     true},
    {1010, 1010, "tracks of one playlist",
     "`{\"uuid\":U,\"info\":{\"container_pid\":P,\"refresh\":R}}`; `{\"Playlist\":P,\"Count\":N}` "
     "(-1: no such playlist) and `{\"Playlist\":P,\"item_pids\":[...]}`",
     true},
    {1011, 1011, "accept a list of items", "`{\"uuid\":U,\"info\":{\"item_pids\":[...]}}`; read, not used", true},
    {1012, 1012, "add a book",
     "data part: zlib of `{\"path\":P,\"remote\":B}` (a local .pdf or .epub folder, or a device path); one "
     "report with the new book's record",
     true},
    {1013, 1013, "remove a book", "data part: zlib of `{\"path\":\"/Books/...\"}`; the list entry and the file go", true},
    {1200, 1200, "list notes",
     "stage 1 `{\"Count\":N}` (-1: kept in an account), stage 2 JSON arrays of up to 20 notes; dates in local time "
     "beside the device's UTC ones",
     true},
    {1201, 1201, "add or edit a note",
     "`{\"uuid\":U,\"id\":ID,\"title\":T,\"content\":C}`; the note as sent in one stage 2 report; 30 when the "
     "device names no identifier",
     true},
    {1202, 1202, "notes of a backup (plug-in)",
     "`{\"info\":{\"note_db_path\":P,\"note_store_db_path\":Q}}`; the plug-in's results as stage-2 reports", false},
    {1400, 1400, "list bookmarks",
     "stage 1 `{\"Count\":N}` (every record), then one stage 2 report per root: its JSON with the whole subtree",
     true},
    {1401, 1401, "add or edit bookmarks", "data part: the complete change message (XML property list)", true},
    {1402, 1402, "delete a bookmark", "`{\"uuid\":U,\"id\":ID}`", true},
    {1500, 1500, "list calendars",
     "stage 1 `{\"Count\":N}` (-1: kept in an account), stage 2 JSON arrays of up to 20 calendars with their "
     "events, recurrences and alarms",
     true},
    {1501, 1501, "add or edit calendars",
     "`{\"uuid\":U,\"com.apple.calendars.Calendar\":XML,...}`: one ready change message per entity; 29 when the "
     "device gives the calendar no identifier",
     true},
    {1502, 1502, "delete a calendar record", "`{\"uuid\":U,\"id\":ID}`", true},
    {1600, 1601, "back up, restore",
     "1600 `{\"uuid\":U,\"path\":ROOT}` (\"\" = default root) into `<ROOT>/<udid>-<time>`, first `{\"BackupDir\":D}`; "
     "1601 `{\"uuid\",\"path\",\"sourceDeviceId\":FOLDER,\"password\"}`; progress stage 1, code 0-10000; final "
     "info `{\"error\":text}`",
     true, &kBackupSteps},
    {1602, 1602, "list backups",
     "`{\"paths\":[ROOT,...]}`; stage 0 one summary per backup folder, then stage 1 each again with \"Size\"", false},
    {1603, 1605, "location service, will encrypt, set backup password",
     "0 = yes, 1 = no; 1605 `{\"uuid\",\"password\"}` runs CORVANE_BACKUP_PASSWORD_TOOL", true},
    {1606, 1607, "iTunes running, end iTunes", "1606: 0 = running; 1607: the exit code of taskkill", false},
    {1608, 1608, "backup extraction",
     "`{\"uuid\":U,\"info\":{\"types\":[1 sms, 2 contacts, 3 notes, 4 recordings, 5/6 WhatsApp]}}`; a work "
     "backup with progress as 1600; stage 2 per job as soon as its files are in `{NAME:[{\"size\",\"type\",\"path\",\"relativePath\"}],"
     "\"sub_command_type\":NAME,\"status\":S}` (1 complete, 0 not found, 2 encrypted, 6 stopped)",
     true, &kBackupSteps},
    {1700, 1700, "erase all content",
     "data part: zlib stream of the restore's `{\"path\",\"sourceDeviceId\",\"password\"}`; stage 0 "
     "`{\"percent\":P}` while the media folders are emptied, stage 2 while the user applications are uninstalled, "
     "then the restore's result",
     true, &kPercent},
    {1701, 1701, "wipe free space",
     "data part: zlib stream of `{\"level\":N}` (at most two passes); stage 0 `{\"percent\":P}`; 2 when the "
     "device took far less than its free space, 17 when a write failed; 600 stops it",
     true, &kPercent},
    {1800, 1800, "plug-in command",
     "`{\"type\":K,\"info\":{\"sub_command_type\":\"NAME\",...}}`; the plug-in's results come as stage-2 reports",
     false},
};

}  // namespace

std::span<const CommandInfo> CommandList() { return kCommands; }

const CommandInfo* FindCommand(uint32_t packet_type) {
  for (const CommandInfo& command : kCommands) {
    if (command.first_type <= packet_type && packet_type <= command.last_type) return &command;
  }
  return nullptr;
}

std::string TypesText(const CommandInfo& command) {
  std::string text = std::to_string(command.first_type);
  if (command.last_type == command.first_type + 1) text += ", " + std::to_string(command.last_type);
  if (command.last_type > command.first_type + 1) text += "-" + std::to_string(command.last_type);
  return text;
}

std::string CommandHelpText() {
  std::string text;
  for (const CommandInfo& command : kCommands) {
    std::string types = TypesText(command);
    text += "  " + types + std::string(types.size() < 12 ? 12 - types.size() : 1, ' ') + command.name + "\n";
  }
  return text;
}

std::string CommandTableMarkdown() {
  std::string text = "| Type | Command | Notes |\n|---|---|---|\n";
  for (const CommandInfo& command : kCommands) {
    text += "| " + TypesText(command) + " | " + command.name + " | " + command.notes + " |\n";
  }
  return text;
}

}  // namespace corvane_host
