#include "utility/module/app/app_package.h"

#include <unzip.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "iOSAPI/plist_message.h"
#include "utility/module/app/app_zip_member.h"

namespace {

constexpr size_t kMaxIdentifierBytes = 255 - 4;  // a file name of at most 255 bytes with ".ipa"
constexpr size_t kMaxMemberName = 1024;
constexpr size_t kMaxExtraField = 65536;
constexpr const char* kMetadataMember = "iTunesMetadata.plist";

struct ZipCloser {
  void operator()(void* zip) const { unzClose(zip); }
};
using ZipPtr = std::unique_ptr<void, ZipCloser>;

// Reads the archive's current member whole through minizip; false when it is too large, broken, fails its
// checksum or cannot be opened.
bool ReadWithMinizip(unzFile zip, uint64_t size, std::string* out) {
  if (size > kMaxPackagePlist || unzOpenCurrentFile(zip) != UNZ_OK) return false;
  out->assign(static_cast<size_t>(size), '\0');
  size_t done = 0;
  bool ok = true;
  while (ok && done < out->size()) {
    int n = unzReadCurrentFile(zip, out->data() + done, static_cast<unsigned>(out->size() - done));
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  // Closing checks the checksum once the whole member has been read.
  return unzCloseCurrentFile(zip) == UNZ_OK && ok;
}

// The current member, through minizip or, for the members beyond 4 GiB it cannot open, straight from the file.
bool ReadCurrentMember(unzFile zip, const std::string& archive, const unz_file_info64& entry,
                       std::string_view extra, std::string* out) {
  if (ReadWithMinizip(zip, entry.uncompressed_size, out)) return true;
  return ReadZipMemberDirectly(archive, entry, extra, kMaxPackagePlist, out);
}

// "Payload/<name>.app/Info.plist" gives "<name>.app"; any other member name an empty string.
std::string AppFolderOf(std::string_view member) {
  constexpr std::string_view kPrefix = "Payload/", kSuffix = "/Info.plist", kApp = ".app";
  if (member.size() <= kPrefix.size() + kSuffix.size() || !member.starts_with(kPrefix) || !member.ends_with(kSuffix)) {
    return std::string();
  }
  std::string_view folder = member.substr(kPrefix.size(), member.size() - kPrefix.size() - kSuffix.size());
  if (folder.find('/') != std::string_view::npos || folder.size() <= kApp.size() || !folder.ends_with(kApp)) {
    return std::string();
  }
  return std::string(folder);
}

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not a valid one.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || lead == 0xC0 || lead == 0xC1 || lead > 0xF4 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return 0;
  }
  return length;
}

}  // namespace

bool IsSafeBundleIdentifier(std::string_view id) {
  if (id.empty() || id.size() > kMaxIdentifierBytes || id.find("..") != std::string_view::npos) return false;
  for (size_t i = 0; i < id.size();) {
    unsigned char c = static_cast<unsigned char>(id[i]);
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
    size_t length = Utf8SequenceLength(id, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

PackageStatus ReadAppPackage(const std::string& path, AppPackage* package, std::string* reason) {
  *package = AppPackage();
  ZipPtr zip(unzOpen64(path.c_str()));
  if (!zip) {
    *reason = "not a zip archive";
    return PackageStatus::kUnreadable;
  }
  std::string info_bytes;
  std::vector<char> extra(kMaxExtraField);
  bool have_metadata = false;
  for (int status = unzGoToFirstFile(zip.get()); status == UNZ_OK; status = unzGoToNextFile(zip.get())) {
    unz_file_info64 entry;
    char name[kMaxMemberName];
    if (unzGetCurrentFileInfo64(zip.get(), &entry, name, sizeof name, extra.data(), extra.size(), nullptr, 0) !=
        UNZ_OK) {
      *reason = "unreadable archive directory";
      return PackageStatus::kUnreadable;
    }
    // A name that did not fit was cut short and could pass for another; none of the members read is that long.
    if (entry.size_filename >= sizeof name) continue;
    std::string_view member(name, entry.size_filename);
    std::string_view member_extra(extra.data(), std::min<size_t>(entry.size_file_extra, extra.size()));
    if (member == kMetadataMember && !have_metadata) {
      // Broken metadata leaves the package installable; it only loses its store members.
      have_metadata = true;
      if (!ReadCurrentMember(zip.get(), path, entry, member_extra, &package->store_metadata)) {
        package->store_metadata.clear();
      }
    } else if (package->app_folder.empty()) {
      std::string folder = AppFolderOf(member);
      if (folder.empty()) continue;
      if (!ReadCurrentMember(zip.get(), path, entry, member_extra, &info_bytes)) {
        *reason = "unreadable " + std::string(member);
        return PackageStatus::kUnreadable;
      }
      package->app_folder = folder;
    }
    if (!package->app_folder.empty() && have_metadata) break;
  }
  if (package->app_folder.empty()) {
    *reason = "no Payload/<name>.app/Info.plist";
    return PackageStatus::kUnreadable;
  }
  if (!ParseMessage(info_bytes.data(), info_bytes.size(), &package->info) || !package->info.IsDict()) {
    *reason = "Info.plist is no property-list dictionary";
    return PackageStatus::kUnreadable;
  }
  auto bundle_id = package->info.FindString("CFBundleIdentifier");
  if (!bundle_id) {
    *reason = "Info.plist has no CFBundleIdentifier";
    return PackageStatus::kUnreadable;
  }
  package->bundle_id = *bundle_id;
  if (!IsSafeBundleIdentifier(package->bundle_id)) {
    *reason = "unsafe bundle identifier";
    return PackageStatus::kUnsafeIdentifier;
  }
  return PackageStatus::kOk;
}
