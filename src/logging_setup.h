// Logging set-up: glog writing into the work folder, or nowhere.
//
// Thread safety: called once on the main thread before other threads log.
#pragma once

#include <string>

// With `to_files`, log files of at most 20 MB each go to `folder`, every message written at once; `to_stderr`
// copies every message to standard error. Without `to_files` nothing is logged anywhere.
void SetUpLogging(const std::string& program_name, const std::string& folder, bool to_files, bool to_stderr);

// Flushes the log files, once; logging stays usable for threads that are still running.
void ShutDownLogging();
