#include "utility/db/read_only_open.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

// The size of a companion file, or 0 when there is none.
uintmax_t CompanionSize(const std::string& path) {
  std::error_code error;
  uintmax_t size = fs::file_size(path, error);
  return error ? 0 : size;
}

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

bool MakePrivateFolder(std::string* folder, std::string* error) {
  std::error_code fs_error;
  fs::path base = fs::temp_directory_path(fs_error);
  if (fs_error) base = "/tmp";
  *folder = platform::CreatePrivateFolder(base.string(), "corvane-db-");
  if (folder->empty()) {
    *error = "cannot create a private folder under " + base.string();
    return false;
  }
  return true;
}

// Copies the database and those of its companions that exist; the -shm is left behind on purpose, since SQLite
// rebuilds it from the -wal.
bool CopyWithCompanions(const std::string& path, const std::string& folder, std::string* copy, std::string* error) {
  *copy = folder + "/" + fs::path(path).filename().string();
  for (const char* suffix : {"", "-wal", "-journal"}) {
    std::string from = path + suffix;
    if (*suffix != '\0' && !Exists(from)) continue;
    std::error_code fs_error;
    fs::copy_file(from, *copy + suffix, fs_error);
    if (fs_error) {
      *error = "cannot copy " + from + ": " + fs_error.message();
      return false;
    }
  }
  return true;
}

}  // namespace

std::string SqliteFileUri(const std::string& path, const std::string& query) {
  std::string uri = "file:";
  for (unsigned char c : path) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                 c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    }
  }
  return uri + "?" + query;
}

bool PlanReadOnlyOpen(const std::string& path, ReadOnlyOpenPlan* plan, std::string* error) {
  *plan = ReadOnlyOpenPlan();
  bool wal_has_content = CompanionSize(path + "-wal") > 0;
  bool journal_has_content = CompanionSize(path + "-journal") > 0;
  if (wal_has_content && Exists(path + "-shm")) {
    plan->kind = ReadOnlyOpenPlan::kSharedReadOnly;
    plan->uri = SqliteFileUri(path, "mode=ro&readonly_shm=1");
    plan->flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
    return true;
  }
  if (!wal_has_content && !journal_has_content) {
    plan->kind = ReadOnlyOpenPlan::kImmutable;
    plan->uri = SqliteFileUri(path, "immutable=1");
    plan->flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
    return true;
  }
  std::string folder;
  std::string copy;
  if (!MakePrivateFolder(&folder, error)) return false;
  plan->kind = ReadOnlyOpenPlan::kPrivateCopy;
  plan->private_folder = folder;
  if (!CopyWithCompanions(path, folder, &copy, error)) {
    RemovePrivateCopy(plan);
    return false;
  }
  plan->uri = SqliteFileUri(copy, "mode=rw");
  plan->flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI;
  return true;
}

void RemovePrivateCopy(ReadOnlyOpenPlan* plan) {
  if (plan->kind != ReadOnlyOpenPlan::kPrivateCopy || plan->private_folder.empty()) return;
  std::error_code error;
  fs::remove_all(plan->private_folder, error);
  plan->private_folder.clear();
}
