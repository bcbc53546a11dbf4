// The manifest job and the manifest lookup of backup extraction (devices with iOS 10 or later).
//
// ZEBBackupExtractManifestDbWork ("Manifest.db") waits for the backup's index files Manifest.db and
// Manifest.plist; when both are in, their folder becomes the registry's backup folder.
//
// The lookup runs after a backup in which some wanted files did not arrive under the names the registry expected
// (a database kept in another domain on this device, say): it asks the plug-ins, which read Manifest.db, under
// which name the backup holds each missing relative path, and the entries so located are looked for under those
// names in another run. Request "LIBMODEL_IBACKUP_QUERY_MANIFEST_DB_SUPPORT_TYPE":
//   {"isEncrypted":false,"backupDir":folder,"queryRelativePaths":{relative path:"", ...}}
// reply: {"isEncrypted":bool,"queryRelativePaths":{relative path: backup name or "", ...}}. A name that is not
// 40 lower-case hexadecimal digits is ignored, as are members nobody asked for. An encrypted backup relocates
// nothing: its files could not be read anyway.
//
// Thread safety: the registry's thread.
#pragma once

#include <cstddef>

#include "utility/backup/extract/extract_registry.h"
#include "utility/backup/extract/extract_work.h"

class ZEBBackupExtractManifestDbWork : public ZEBBackupExtractWork {
 public:
  explicit ZEBBackupExtractManifestDbWork(ZEBBackupExtractRegistry& registry);
  bool FileArrived(const std::string& backup_name, const std::string& local_path) override;
};

namespace backup_extract {

inline constexpr char kManifestQuery[] = "LIBMODEL_IBACKUP_QUERY_MANIFEST_DB_SUPPORT_TYPE";

struct LookupOutcome {
  bool asked = false;      // some entries were missing, so the plug-ins were asked
  bool answered = false;   // a readable reply came
  bool encrypted = false;  // the reply says the backup is encrypted
  size_t relocated = 0;    // entries now looked for under another name
};

LookupOutcome LookUpMissingFiles(ZEBBackupExtractRegistry& registry);

}  // namespace backup_extract
