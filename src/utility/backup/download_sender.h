// Sending files from the backup folder to the device (after DLMessageDownloadFiles): the device asks for
// Status.plist, Manifest.plist and Manifest.db at the start of a backup, and for every file of the backup during a
// restore.
//
// The stream, per requested name: u32be length + the name, then the file in blocks of u32be (n + 1), code 12 and
// n data bytes, ending with u32be 1 and code 0; or, for a file the computer cannot give, one block u32be (m + 1),
// code 6 and an error text of m bytes. After the last name: u32be 0. Every name of the request gets its answer
// (a device that asked for three files waits for three). A name that leaves the backup folder is answered as a
// file that is not permitted; nothing outside the folder is read.
//
// Thread safety: one call per session thread.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "utility/backup/backup_paths.h"

using ByteWriter = std::function<bool(std::string_view bytes)>;

inline constexpr size_t kDownloadBlock = 1 << 20;

struct DownloadOutcome {
  bool sent = false;                         // false: the stream failed and the session cannot go on
  std::map<std::string, std::string> missing;  // name -> error text, for the names not sent whole
  size_t files = 0;                          // files sent whole
};

DownloadOutcome SendRequestedFiles(const ByteWriter& write, const BackupPathMap& paths,
                                   const std::vector<std::string>& names);
