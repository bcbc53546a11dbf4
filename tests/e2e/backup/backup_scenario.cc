#include "backup/backup_scenario.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace e2e {

namespace fs = std::filesystem;

std::map<std::string, std::string> BackupSourceFiles(const std::string& profile_folder) {
  std::map<std::string, std::string> files;
  fs::path source = fs::path(profile_folder) / "backup";
  for (const fs::directory_entry& domain : fs::directory_iterator(source)) {
    if (!domain.is_directory()) continue;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(domain.path())) {
      if (!entry.is_regular_file()) continue;
      std::string relative = fs::relative(entry.path(), domain.path()).generic_string();
      files[BackupFileId(domain.path().filename().string(), relative)] = entry.path().string();
    }
  }
  return files;
}

bool SameContent(const std::string& a, const std::string& b) {
  std::error_code error;
  if (fs::file_size(a, error) != fs::file_size(b, error) || error) return false;
  std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
  std::string x(1 << 20, '\0'), y(1 << 20, '\0');
  while (left && right) {
    left.read(x.data(), static_cast<std::streamsize>(x.size()));
    right.read(y.data(), static_cast<std::streamsize>(y.size()));
    if (left.gcount() != right.gcount() || x.compare(0, left.gcount(), y, 0, right.gcount()) != 0) return false;
  }
  return true;
}

std::vector<std::string> CompareWithSource(const std::string& backup_folder, const std::string& profile_folder) {
  std::vector<std::string> differences;
  for (const auto& [id, source] : BackupSourceFiles(profile_folder)) {
    std::string stored = (fs::path(backup_folder) / id.substr(0, 2) / id).string();
    if (!fs::exists(stored)) {
      differences.push_back("missing " + id + " (" + source + ")");
    } else if (!SameContent(stored, source)) {
      differences.push_back("different " + id + " (" + source + ")");
    }
  }
  return differences;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::optional<rapidjson::Document> ParseJson(const std::string& text) {
  rapidjson::Document document;
  document.Parse(text.c_str());
  if (document.HasParseError()) return std::nullopt;
  return document;
}

std::vector<std::string> FoldersUnder(const std::string& root) {
  std::vector<std::string> folders;
  std::error_code error;
  for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
    if (it->is_directory()) folders.push_back(it->path().string());
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

BackupRun RunBackupCommand(DeviceHarness& corvane, uint64_t task, uint32_t type, const std::string& json,
                           std::chrono::milliseconds timeout) {
  BackupRun run;
  run.final = corvane.Run(task, type, json, {}, timeout);
  run.reports = corvane.TakeReportsOf(task);
  for (const hostlink::Report& report : run.reports) {
    if (report.stage == 1 && type <= 1601) run.steps.push_back(report.code);
    if (report.stage == 0) {
      if (auto dir = ParseJson(report.data); dir && dir->IsObject() && dir->HasMember("BackupDir")) {
        run.backup_dir = (*dir)["BackupDir"].GetString();
      }
    }
  }
  if (run.final && run.final->has_info) {
    if (auto info = ParseJson(run.final->info); info && info->IsObject() && info->HasMember("error")) {
      run.error = (*info)["error"].GetString();
    }
  }
  return run;
}

}  // namespace e2e
