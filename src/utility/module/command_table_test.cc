#include "utility/module/command_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "utility/module/control/zeb_module_control.h"
#include "utility/protocol_codes.h"

namespace {

TEST(CommandTable, EveryPacketTypeHasExactlyOneOwner) {
  CommandMap map;
  std::string error;
  ASSERT_TRUE(BuildCommandMap(CommandRows(), nullptr, &map, &error)) << error;
  size_t types = 0;
  for (const CommandRow& row : CommandRows()) types += row.last_type - row.first_type + 1;
  EXPECT_EQ(map.size(), types);
  EXPECT_NE(map.count(600), 0u);
  EXPECT_NE(map.count(1800), 0u);
}

TEST(CommandTable, ATypeClaimedTwiceIsRefused) {
  static ZEBModuleControl module;
  auto owner = []() -> ZEBModule& { return module; };
  const CommandRow clash[] = {{100, 106, owner, "ZEBModuleControl", {}}, {106, 106, owner, "ZEBModuleControl", {}}};
  CommandMap map;
  std::string error;
  EXPECT_FALSE(BuildCommandMap(clash, nullptr, &map, &error));
  EXPECT_EQ(error, "packet type 106 has two owners");
}

TEST(CommandTable, SubCommandNamesAreUnique) {
  std::set<std::string> names;
  for (const SubCommandRow& row : SubCommandRows()) EXPECT_TRUE(names.insert(row.name).second) << row.name;
}

// The declared types agree with the command table: every module-owned type is served by its owner's row, the
// client's own types by none, and no row serves an undeclared type.
TEST(ProtocolTable, TheCommandTableServesEachDeclaredTypeByItsOwner) {
  std::map<uint32_t, std::string> served;
  for (const CommandRow& row : CommandRows()) {
    for (uint32_t type = row.first_type; type <= row.last_type; ++type) served[type] = row.owner;
  }
  std::set<uint32_t> declared;
  for (const protocol::PacketTypeRow& row : protocol::kPacketTypes) {
    EXPECT_TRUE(declared.insert(row.type).second) << row.name << " is declared twice";
    if (std::string(row.owner) == "ZEBClient") {
      EXPECT_EQ(served.count(row.type), 0u) << row.name;
    } else {
      EXPECT_EQ(served[row.type], row.owner) << row.name;
    }
  }
  for (const auto& [type, owner] : served) EXPECT_EQ(declared.count(type), 1u) << type << " of " << owner;
}

// The numbers the host knows; a renumbered constant would answer commands the host never sends.
TEST(ProtocolTable, TypesAndCodesHaveTheHostsNumbers) {
  const std::map<std::string, uint32_t> host_types = {
      {"kTypeDeviceConnected", 1}, {"kTypeDeviceDisconnected", 8}, {"kTypeMonitorStart", 9},
      {"kTypeDeviceAttached", 11}, {"kTypeConnectError", 12},      {"kTypeReannounce", 15},
      {"kTypeStart", 19},          {"kTypeSmsConversations", 201}, {"kTypeBasicInfo", 300},
      {"kTypeRename", 303},
      {"kTypePhotoCameraRoll", 400}, {"kTypePhotoAlbums", 401}, {"kTypePhotoAlbumPhotos", 402},
      {"kTypePhotoThumbnails", 403}, {"kTypePhotoNamedOperation", 404},        {"kTypeAppList", 501},          {"kTypeAppIcons", 502},
      {"kTypeAppInstall", 504},    {"kTypeAppUninstall", 505},     {"kTypeAppArchive", 506},
      {"kTypeStopTask", 600},      {"kTypeFileExport", 701},       {"kTypeFileDownload", 702},
      {"kTypeFileUpload", 703},    {"kTypePluginCommand", 1800},   {"kTypeContactList", 100},
      {"kTypeGroupList", 101},     {"kTypeContactSave", 102},      {"kTypeContactDelete", 103},
      {"kTypeGroupAdd", 104},      {"kTypeGroupDelete", 105},      {"kTypeGroupEdit", 106},
      {"kTypeNoteList", 1200},     {"kTypeNoteSave", 1201},        {"kTypeBackupNoteList", 1202},
      {"kTypeBookmarkList", 1400}, {"kTypeBookmarkSave", 1401},    {"kTypeBookmarkDelete", 1402},
      {"kTypeCalendarList", 1500}, {"kTypeCalendarSave", 1501},    {"kTypeCalendarDelete", 1502},
      {"kTypeMediaLibrary", 1000}, {"kTypeBooksAndRingtones", 1001}, {"kTypeRecordings", 1002},
      {"kTypePlaylistTracks", 1010}, {"kTypeMediaItems", 1011}, {"kTypeAddBook", 1012}, {"kTypeRemoveBook", 1013},
      {"kTypeBackup", 1600},       {"kTypeRestore", 1601},         {"kTypeBackupList", 1602},
      {"kTypeFindMyAssociated", 1603}, {"kTypeWillEncrypt", 1604}, {"kTypeSetBackupPassword", 1605},
      {"kTypeITunesRunning", 1606}, {"kTypeEndITunes", 1607}, {"kTypeBackupExtract", 1608},
      {"kTypeEraseAll", 1700},     {"kTypeWipeFreeSpace", 1701},   {"kTypeStartMonitor", 10},
      {"kTypeDriverDownload", 16}, {"kTypeDriverInstall", 17},     {"kTypeStoreEditionCheck", 18}};
  EXPECT_EQ(std::size(protocol::kPacketTypes), host_types.size());
  for (const protocol::PacketTypeRow& row : protocol::kPacketTypes) {
    auto it = host_types.find(row.name);
    ASSERT_NE(it, host_types.end()) << row.name;
    EXPECT_EQ(row.type, it->second) << row.name;
  }
  EXPECT_EQ(protocol::kResultBadJson, 21);
  EXPECT_EQ(protocol::kResultAborted, 6);
  EXPECT_EQ(protocol::kResultNoDevice, 7);
  EXPECT_EQ(protocol::kResultSyncFailed, 13);
  EXPECT_EQ(protocol::kResultNoContactId, 28);
  EXPECT_EQ(protocol::kResultNoCalendarId, 29);
  EXPECT_EQ(protocol::kResultNoNoteId, 30);
  EXPECT_EQ(protocol::kResultBackupTaskError, 2);
  EXPECT_EQ(protocol::kResultBackupDisconnected, 45);
}

}  // namespace
