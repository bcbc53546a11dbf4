#include "utility/backup/extract/backup_names.h"

#include "libbasic/bas_utility_file.h"

namespace backup_extract {

namespace {

constexpr char kWhatsAppDomain[] = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";

constexpr KnownDatabase kKnown[] = {
    {kTypeSms, "sms", "HomeDomain", "3d0d7e5fb2ce288813306e4d4636395e047a3d28", "sms_db_path", "Library/SMS/sms.db"},
    {kTypeContact, "contact", "HomeDomain", "31bb7ba8914766d4ba40d6dfb6113c8b614be442", "contact_db_path",
     "Library/AddressBook/AddressBook.sqlitedb"},
    {kTypeNote, "note", "HomeDomain", "ca3bc056d4da0bbf88b5fb3be254f3b7147e639c", "note_db_path",
     "Library/Notes/notes.sqlite"},
    {kTypeNote, "note", "AppDomainGroup-group.com.apple.notes", "4f98687d8ab0d6d1a371110e6b7300f6e465bef2",
     "note_store_db_path", "NoteStore.sqlite"},
    {kTypeRecording, "recording", "MediaDomain", "f0ab5dad305d769185aae95463f895e4294f961d", "recording_db_path",
     "Library/Recordings/Recordings.db"},
    {kTypeRecording, "recording", "MediaDomain", "2879acab4b02bb19c218971593be87d2e97f8887", "asset_manifest_path",
     "Library/Recordings/AssetManifest.plist"},
    {kTypeRecording, "recording", "MediaDomain", "b39e461eaa52a8cc6117e343be5f7abc6bd9fca4",
     "cloud_recordings_db_path", "Library/Recordings/CloudRecordings.db"},
    {kTypeWhatsApp, "whatsapp", kWhatsAppDomain, "7c7fba66680ef796b916b067077cc246adacf01d", "whatsapp_db_path_key",
     "ChatStorage.sqlite"},
    {kTypeWhatsAppToo, "whatsapp", kWhatsAppDomain, "7c7fba66680ef796b916b067077cc246adacf01d",
     "whatsapp_db_path_key", "ChatStorage.sqlite"},
};

}  // namespace

std::string BackupFileName(std::string_view domain, std::string_view relative_path) {
  std::string text;
  text.reserve(domain.size() + 1 + relative_path.size());
  text.append(domain).append("-").append(relative_path);
  return bas::BASUtilityFile::CalcStringToSha1Hash(text);
}

bool IsBackupFileName(std::string_view name) {
  if (name.size() != 40) return false;
  for (char c : name) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool IsManifestFileName(std::string_view name) { return name == kManifestDbName || name == kManifestPlistName; }

std::string NameFromLocalPath(std::string_view local_path) {
  size_t slash = local_path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? local_path : local_path.substr(slash + 1);
  if (size_t dash = name.rfind('-'); dash != std::string_view::npos) name = name.substr(0, dash);
  if (!IsBackupFileName(name) && !IsManifestFileName(name)) return std::string();
  return std::string(name);
}

std::span<const KnownDatabase> KnownDatabases() { return kKnown; }

}  // namespace backup_extract
