// The helper's side of crash reporting: the report file and the clean-up after the archive is packed.
//
// Thread safety: both callbacks run on the crashing thread, once.
#pragma once

#include <string>

// Writes "Crash.json" (Product, Version, System; four-space indentation) into `folder` (ending in "/") and
// returns its path; then flushes the log files, unless logging was shut down already, so the packed logs are
// complete.
std::string WriteCrashReport(const std::string& folder);

// Deletes every file in the folder of `path` (an absolute path) whose name does not contain ".zip" (letter case
// ignored); subfolders are left alone. A path that names no folder deletes nothing.
void CleanUpAfterCrash(const std::string& path);

// The dump path of this start: work folder + "/" + local time as "%Y%m%d%H%M%S" + ".dmp".
std::string CrashDumpPath(const std::string& work_folder);
