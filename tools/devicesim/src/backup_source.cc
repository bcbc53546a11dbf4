#include "backup_source.h"

#include <openssl/sha.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace devicesim {
namespace {

namespace fs = std::filesystem;

bool SafeComponent(const std::string& part) {
  return !part.empty() && part != "." && part != ".." && part.find('\0') == std::string::npos &&
         part.find('\\') == std::string::npos;
}

bool SafeRelativePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (!SafeComponent(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

bool AddItem(const fs::path& local, const std::string& domain, const std::string& relative,
             std::vector<BackupItem>* items) {
  struct stat info;
  if (::lstat(local.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) return true;
  BackupItem item;
  item.domain = domain;
  item.relative_path = relative;
  item.local_path = local.string();
  item.is_dir = S_ISDIR(info.st_mode);
  item.size = item.is_dir ? 0 : static_cast<uint64_t>(info.st_size);
  item.mtime = info.st_mtime;
  item.mode = info.st_mode;
  item.inode = info.st_ino;
  item.file_id = BackupFileId(domain, relative);
  items->push_back(std::move(item));
  return true;
}

}  // namespace

std::string BackupFileId(const std::string& domain, const std::string& relative_path) {
  std::string text = domain + "-" + relative_path;
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) {
    hex.push_back(kHex[byte >> 4]);
    hex.push_back(kHex[byte & 0xF]);
  }
  return hex;
}

bool ScanBackupSource(const std::string& root, std::vector<BackupItem>* items, std::string* error) {
  items->clear();
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return true;
  for (const fs::directory_entry& domain : fs::directory_iterator(root, ec)) {
    if (!domain.is_directory(ec) || domain.is_symlink(ec)) continue;
    std::string name = domain.path().filename().string();
    AddItem(domain.path(), name, "", items);
    fs::recursive_directory_iterator walk(domain.path(), ec), end;
    for (; !ec && walk != end; walk.increment(ec)) {
      std::string relative = fs::relative(walk->path(), domain.path(), ec).generic_string();
      if (!AddItem(walk->path(), name, relative, items)) {
        *error = "cannot read " + walk->path().string();
        return false;
      }
    }
    if (ec) {
      *error = "cannot read " + domain.path().string() + ": " + ec.message();
      return false;
    }
  }
  if (ec) {
    *error = "cannot read " + root + ": " + ec.message();
    return false;
  }
  std::sort(items->begin(), items->end(), [](const BackupItem& a, const BackupItem& b) {
    return a.domain != b.domain ? a.domain < b.domain : a.relative_path < b.relative_path;
  });
  return true;
}

bool RestoredFilePath(const std::string& restored_root, const std::string& domain, const std::string& relative_path,
                      std::string* path) {
  if (!SafeComponent(domain) || domain.find('/') != std::string::npos || !SafeRelativePath(relative_path)) {
    return false;
  }
  *path = restored_root + "/" + domain + "/" + relative_path;
  return true;
}

}  // namespace devicesim
