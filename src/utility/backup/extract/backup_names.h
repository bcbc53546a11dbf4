// The names a device backup stores its files under, and the databases backup extraction knows by name.
//
// A backup stores a file under the SHA-1, in lower-case hexadecimal, of its domain + "-" + relative path; the
// index files Manifest.db and Manifest.plist keep their own names. The known databases are constants here; a unit
// test proves each is the digest of its domain path.
//
// Names that come from outside (a device's upload target, a plug-in's reply) are only ever used as file names
// after IsBackupFileName or IsManifestFileName accepted them, so none can lead out of a folder.
//
// Thread safety: constants and pure functions.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace backup_extract {

inline constexpr char kManifestDbName[] = "Manifest.db";
inline constexpr char kManifestPlistName[] = "Manifest.plist";

// SHA-1 hex of domain + "-" + relative path.
std::string BackupFileName(std::string_view domain, std::string_view relative_path);

// Exactly 40 lower-case hexadecimal digits.
bool IsBackupFileName(std::string_view name);
bool IsManifestFileName(std::string_view name);

// The backup name of a file the device uploaded, from its local path: the part after the last "/", cut before
// its last "-" when it has one. Empty when that is neither a backup file name nor a manifest name.
std::string NameFromLocalPath(std::string_view local_path);

// One wanted database of a request type.
struct KnownDatabase {
  int type;
  const char* job_name;
  const char* domain;  // the domain whose digest `backup_name` is
  const char* backup_name;
  const char* result_key;
  const char* relative_path;
};

std::span<const KnownDatabase> KnownDatabases();

inline constexpr int kTypeSms = 1;
inline constexpr int kTypeContact = 2;
inline constexpr int kTypeNote = 3;
inline constexpr int kTypeRecording = 4;
inline constexpr int kTypeWhatsApp = 5;
inline constexpr int kTypeWhatsAppToo = 6;

// Where recording audio files live: MediaDomain, "Library" + the recording's "/Recordings/..." path.
inline constexpr char kRecordingDomain[] = "MediaDomain";

}  // namespace backup_extract
