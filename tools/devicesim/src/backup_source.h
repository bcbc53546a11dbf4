// The profile's backup source: the folder `backup/<Domain>/<relative path>` beside afc/, holding what only a
// backup reaches (messages, contacts, notes, recordings, app group containers). It is read afresh for every
// backup, so a test may change it between two backups and see an incremental backup move only what changed.
//
// Also the names a backup gives each file (SHA-1 of domain + "-" + relative path) and where a restored file
// lands in the profile's restored state, confined to it whatever the computer sends.
//
// Stateless functions; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devicesim/backup_file_id.h"

namespace devicesim {

struct BackupItem {
  std::string domain;         // "HomeDomain", "MediaDomain", "AppDomainGroup-group.net.whatsapp.WhatsApp.shared"
  std::string relative_path;  // inside the domain, "/"-separated, no leading "/"; empty for the domain itself
  std::string local_path;     // the file in the profile folder
  bool is_dir = false;
  uint64_t size = 0;
  int64_t mtime = 0;          // seconds since 1970
  uint32_t mode = 0;          // st_mode
  uint64_t inode = 0;
  std::string file_id;        // SHA-1 hex of domain + "-" + relative_path
};


// Every domain folder, folder and regular file under `root`, sorted by domain and path (symbolic links and other
// kinds are left out). A missing root is an empty source. False with a reason when a folder cannot be read.
bool ScanBackupSource(const std::string& root, std::vector<BackupItem>* items, std::string* error);

// Where a restored file of `domain` / `relative_path` goes under `restored_root`. False when the domain or path
// is empty, absolute, or has a "." or ".." component, a NUL or a backslash: a name from the computer never leads
// outside the restored state.
bool RestoredFilePath(const std::string& restored_root, const std::string& domain, const std::string& relative_path,
                      std::string* path);

}  // namespace devicesim
