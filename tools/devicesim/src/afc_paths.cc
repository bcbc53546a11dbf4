#include "afc_paths.h"

#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <cstdlib>
#include <vector>

#include "afc_wire.h"

namespace devicesim {
namespace {

bool Inside(const std::string& root, const std::string& real) {
  return real == root || (real.size() > root.size() && real.compare(0, root.size(), root) == 0 &&
                          real[root.size()] == '/');
}

std::string Parent(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

bool NormalizeAfcPath(const std::string& path, std::string* normalized) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (parts.empty()) return false;
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  std::string joined;
  for (const std::string& part : parts) joined += "/" + part;
  *normalized = joined.empty() ? std::string("/") : std::move(joined);
  return true;
}

uint64_t ResolveAfcPath(const std::string& root, const std::string& path, bool follow_last, std::string* host_path) {
  std::string normalized;
  if (!NormalizeAfcPath(path, &normalized)) return kAfcPermissionDenied;
  *host_path = normalized == "/" ? root : root + normalized;
  if (*host_path == root) return kAfcSuccess;
  // Whatever the operation touches must resolve inside: the object itself when it is followed, else its folder.
  std::string probe = follow_last ? *host_path : Parent(*host_path);
  while (Inside(root, probe)) {
    struct stat info;
    if (::lstat(probe.c_str(), &info) == 0) {
      char real[PATH_MAX];
      // A link that resolves nowhere cannot be shown to stay inside, so it is refused like one that leaves.
      if (!::realpath(probe.c_str(), real) || !Inside(root, real)) return kAfcPermissionDenied;
      return kAfcSuccess;
    }
    if (probe == root) break;
    probe = Parent(probe);
  }
  return kAfcSuccess;
}

int64_t ApparentTreeBytes(const std::string& root) {
  std::error_code ec;
  int64_t total = 0;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code size_error;
    if (it->is_regular_file(size_error)) {
      uintmax_t size = it->file_size(size_error);
      if (!size_error) total += static_cast<int64_t>(size);
    }
  }
  return total;
}

}  // namespace devicesim
