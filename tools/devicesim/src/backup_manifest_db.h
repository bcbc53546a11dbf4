// Manifest.db, the SQLite index a backup of iOS 10 and later carries: the table Files (fileID, domain,
// relativePath, flags 1 = file / 2 = folder, file = the archived file record with Size, LastModified, Mode ...)
// and the table Properties. The device builds it from its backup source and reads the computer's copy back to
// tell what an incremental backup must send and what a restore must ask for.
//
// Stateless functions over bytes; each call opens its own in-memory database, so they are safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backup_source.h"

namespace devicesim {

struct ManifestEntry {
  std::string file_id;
  std::string domain;
  std::string relative_path;
  int flags = 0;  // 1 file, 2 folder
  uint64_t size = 0;
  int64_t mtime = 0;
};

// The database bytes listing `items`. False with a reason when SQLite fails.
bool BuildManifestDb(const std::vector<BackupItem>& items, std::string* bytes, std::string* error);

// Reads Files back; a file record that cannot be decoded leaves size and mtime at 0. False when the bytes are no
// database with a Files table.
bool ReadManifestDb(const std::string& bytes, std::vector<ManifestEntry>* entries, std::string* error);

// The archived file record stored in Files.file (a keyed-archiver binary property list of an MBFile), and its
// Size and LastModified read back.
std::string ArchiveFileRecord(const BackupItem& item);
bool ReadFileRecord(const void* data, size_t size, uint64_t* file_size, int64_t* mtime);

}  // namespace devicesim
