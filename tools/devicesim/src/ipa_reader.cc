#include "ipa_reader.h"

#include <unzip.h>

#include <memory>
#include <vector>

#include "plist_util.h"

namespace devicesim {
namespace {

// Package members the simulator reads are small; a larger one is treated as a broken package.
constexpr uint64_t kMaxMember = 10u << 20;

struct ZipClose {
  void operator()(void* zip) const { unzClose(zip); }
};

bool ReadCurrent(unzFile zip, uint64_t size, std::string* out) {
  if (size > kMaxMember || unzOpenCurrentFile(zip) != UNZ_OK) return false;
  out->assign(size, '\0');
  int n = size > 0 ? unzReadCurrentFile(zip, out->data(), static_cast<unsigned>(size)) : 0;
  bool complete = unzCloseCurrentFile(zip) == UNZ_OK;
  return complete && n == static_cast<int>(size);
}

// "Payload/<name>.app/Info.plist" gives "<name>.app"; anything else an empty string.
std::string AppFolderOfInfoPlist(const std::string& name) {
  const std::string prefix = "Payload/", suffix = "/Info.plist";
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return "";
  }
  std::string folder = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  if (folder.find('/') != std::string::npos || folder.size() <= 4 ||
      folder.compare(folder.size() - 4, 4, ".app") != 0) {
    return "";
  }
  return folder;
}

}  // namespace

bool ReadIpa(const std::string& path, IpaContents* contents, std::string* error) {
  std::unique_ptr<void, ZipClose> zip(unzOpen64(path.c_str()));
  if (!zip) {
    *error = "not a zip archive";
    return false;
  }
  *contents = IpaContents();
  std::string info_bytes;
  for (int status = unzGoToFirstFile(zip.get()); status == UNZ_OK; status = unzGoToNextFile(zip.get())) {
    unz_file_info64 entry;
    char name[1024];
    if (unzGetCurrentFileInfo64(zip.get(), &entry, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) {
      *error = "unreadable archive directory";
      return false;
    }
    contents->unpacked_size += entry.uncompressed_size;
    std::string member = name;
    if (member == "iTunesMetadata.plist") {
      if (!ReadCurrent(zip.get(), entry.uncompressed_size, &contents->itunes_metadata)) {
        *error = "unreadable iTunesMetadata.plist";
        return false;
      }
    } else if (contents->app_folder.empty()) {
      std::string folder = AppFolderOfInfoPlist(member);
      if (folder.empty()) continue;
      if (!ReadCurrent(zip.get(), entry.uncompressed_size, &info_bytes)) {
        *error = "unreadable " + member;
        return false;
      }
      contents->app_folder = folder;
    }
  }
  if (contents->app_folder.empty()) {
    *error = "no Payload/*.app/Info.plist in the package";
    return false;
  }
  PlistPtr info = ParsePlist(info_bytes.data(), info_bytes.size());
  if (!info || plist_get_node_type(info.get()) != PLIST_DICT) {
    *error = "Info.plist is no property-list dictionary";
    return false;
  }
  contents->info = FromPlist(info.get());
  const Value* id = contents->info.Find("CFBundleIdentifier");
  if (!id || id->type() != Value::Type::kString || id->text().empty()) {
    *error = "Info.plist lacks CFBundleIdentifier";
    return false;
  }
  contents->bundle_id = id->text();
  return true;
}

}  // namespace devicesim
