// Shared steps of the backup scenarios: a phone whose backup source the test knows, Corvane's backup commands,
// and the comparison of a backup folder with the simulator's source (by the format's file names, not by what
// Corvane reports).
//
// Thread safety: one test thread.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "devicesim/backup_file_id.h"
#include "harness/device_harness.h"

namespace e2e {

inline constexpr char kReadyUdid[] = "00008110-001A2D3C0E38801E";  // the ready profile iphone-current

// The stored name of a source file.
using devicesim::BackupFileId;

// file id -> the source file's local path, for every regular file of <profile>/backup/<Domain>/...
std::map<std::string, std::string> BackupSourceFiles(const std::string& profile_folder);

// The differences between a modern backup folder (<folder>/<xx>/<id>) and the source: missing or different files,
// one line each. Empty when every source file is stored with its content.
std::vector<std::string> CompareWithSource(const std::string& backup_folder, const std::string& profile_folder);

std::string ReadWholeFile(const std::string& path);
std::optional<rapidjson::Document> ParseJson(const std::string& text);

// The backup folders under a root (full paths, sorted).
std::vector<std::string> FoldersUnder(const std::string& root);

struct BackupRun {
  std::optional<hostlink::Report> final;
  std::vector<hostlink::Report> reports;  // the task's other reports, in order
  std::string backup_dir;                 // from the BackupDir report
  std::vector<int64_t> steps;             // progress codes
  std::string error;                      // the final report's "error"
};

// Runs one command and sorts its reports.
BackupRun RunBackupCommand(DeviceHarness& corvane, uint64_t task, uint32_t type, const std::string& json,
                           std::chrono::milliseconds timeout = std::chrono::seconds(120));

}  // namespace e2e
