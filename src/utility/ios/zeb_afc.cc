#include "utility/ios/zeb_afc.h"

#include <glog/logging.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "utility/ios/device_handles.h"

namespace {

constexpr size_t kMaxNameBytes = 255;
constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr const char* kCydiaAutoInstall = "/var/root/Media/Cydia/AutoInstall";

int64_t ToInt64(const char* text) { return std::strtoll(text, nullptr, 10); }

class LocalFile {
 public:
  explicit LocalFile(const std::string& path, const char* mode) : path_(path), file_(std::fopen(path.c_str(), mode)) {}
  ~LocalFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  FILE* get() const { return file_; }
  // Closes, reporting a failed flush as a failed write.
  bool Close() {
    bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }
  void Discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    std::error_code error;
    std::filesystem::remove(path_, error);
  }

 private:
  std::string path_;
  FILE* file_;
};

// Streams a device file to `sink` (chunk by chunk); false on any failure, a short read or more bytes than the file
// claims to hold, and when it claims more than `limit` bytes.
template <class Sink>
bool ReadDeviceFile(const ZEBDeviceService& afc, const std::string& device_path, Sink sink,
                    int64_t limit = std::numeric_limits<int64_t>::max()) {
  ZEBFileInfo info;
  if (!GetFileInfo(afc, device_path, &info)) return false;
  if (info.size > limit) {
    LOG(ERROR) << device_path << " claims " << info.size << " bytes, more than the " << limit << " read at most";
    return false;
  }
  AFCConnectionRef connection = DeviceHandles::Afc(afc);
  uint64_t file = 0;
  if (AFCFileRefOpen(connection, device_path.c_str(), kAFCModeRead, &file) != kAMDSuccess) return false;
  char* buffer = TransferBuffer();
  int64_t total = 0;
  bool ok = true;
  while (total < info.size) {
    uint32_t length = static_cast<uint32_t>(kTransferChunk);
    if (AFCFileRefRead(connection, file, buffer, &length) != kAMDSuccess) {
      ok = false;
      break;
    }
    if (length == 0) break;
    // More than the file holds is not its content (a connection cut inside an answer can look like this).
    if (length > info.size - total) {
      LOG(ERROR) << device_path << " sent more than its " << info.size << " bytes";
      ok = false;
      break;
    }
    if (!sink(buffer, length)) {
      ok = false;
      break;
    }
    total += length;
  }
  AFCFileRefClose(connection, file);
  if (ok && total < info.size) {
    LOG(ERROR) << "Download of " << device_path << " ended after " << total << " of " << info.size << " bytes";
    ok = false;
  }
  return ok;
}

}  // namespace

bool ListDirectory(const ZEBDeviceService& afc, const std::string& path, std::vector<std::string>* names) {
  AFCDirectoryRef directory = nullptr;
  if (AFCDirectoryOpen(DeviceHandles::Afc(afc), path.c_str(), &directory) != kAMDSuccess) return false;
  const char* name = nullptr;
  while (AFCDirectoryRead(directory, &name) && name != nullptr) {
    if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) names->emplace_back(name);
  }
  AFCDirectoryClose(directory);
  return true;
}

char* TransferBuffer() {
  thread_local std::unique_ptr<char[]> buffer;
  if (!buffer) buffer.reset(new char[kTransferChunk]);
  return buffer.get();
}

bool IsSafeEntryName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.size() <= kMaxNameBytes &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::string ChildPath(const std::string& parent, const std::string& name) {
  if (!parent.empty() && parent.back() == '/') return parent + name;
  return parent + "/" + name;
}

bool GetFileInfo(const ZEBDeviceService& afc, const std::string& path, ZEBFileInfo* info) {
  AFCKeyValueRef values = nullptr;
  if (AFCFileInfoOpen(DeviceHandles::Afc(afc), path.c_str(), &values) != kAMDSuccess) return false;
  *info = ZEBFileInfo();
  const char* key = nullptr;
  const char* value = nullptr;
  while (AFCKeyValueRead(values, &key, &value) && key != nullptr) {
    if (std::strcmp(key, "st_nlink") == 0) info->nlink = static_cast<uint32_t>(ToInt64(value));
    else if (std::strcmp(key, "st_blocks") == 0) info->blocks = static_cast<uint32_t>(ToInt64(value));
    else if (std::strcmp(key, "st_size") == 0) info->size = ToInt64(value);
    else if (std::strcmp(key, "st_birthtime") == 0) info->birthTime = ToInt64(value) / kNanosecondsPerSecond;
    else if (std::strcmp(key, "st_mtime") == 0) info->modifyTime = ToInt64(value) / kNanosecondsPerSecond;
    else if (std::strcmp(key, "st_ifmt") == 0) info->type = value;
    else if (std::strcmp(key, "LinkTarget") == 0) info->linkTarget = value;
  }
  AFCKeyValueClose(values);
  return true;
}

bool RemovePath(const ZEBDeviceService& afc, const std::string& path) {
  return AFCRemovePath(DeviceHandles::Afc(afc), path.c_str()) == kAMDSuccess;
}

int MakeDirectory(const ZEBDeviceService& afc, const std::string& path) {
  ZEBFileInfo info;
  if (GetFileInfo(afc, path, &info) && info.IsDirectory()) return 1;
  return AFCDirectoryCreate(DeviceHandles::Afc(afc), path.c_str()) == kAMDSuccess ? 1 : 0;
}

bool RemoveTree(const ZEBDeviceService& afc, const std::string& path, bool remove_top, bool nested) {
  ZEBFileInfo info;
  GetFileInfo(afc, path, &info);
  if (!info.IsDirectory()) return RemovePath(afc, path);
  std::vector<std::string> names;
  ListDirectory(afc, path, &names);
  for (const std::string& name : names) {
    std::string child = ChildPath(path, name);
    ZEBFileInfo child_info;
    if (!GetFileInfo(afc, child, &child_info)) continue;
    if (child_info.IsDirectory()) {
      RemoveTree(afc, child, remove_top, true);
    } else if (child_info.IsRegularFile()) {
      RemovePath(afc, child);
    }
  }
  if (remove_top || nested) return RemovePath(afc, path);
  return true;
}

bool UploadFile(const ZEBDeviceService& afc, const std::string& local_path, const std::string& device_path) {
  LocalFile local(local_path, "rb");
  if (local.get() == nullptr) return false;
  AFCConnectionRef connection = DeviceHandles::Afc(afc);
  uint64_t file = 0;
  if (AFCFileRefOpen(connection, device_path.c_str(), kAFCModeWrite, &file) != kAMDSuccess) return false;
  char* buffer = TransferBuffer();
  bool ok = true;
  for (;;) {
    size_t n = std::fread(buffer, 1, kTransferChunk, local.get());
    if (n > 0 && AFCFileRefWrite(connection, file, buffer, static_cast<uint32_t>(n)) != kAMDSuccess) {
      ok = false;
      break;
    }
    if (n < kTransferChunk) {
      ok = std::ferror(local.get()) == 0;
      break;
    }
  }
  if (AFCFileRefClose(connection, file) != kAMDSuccess) ok = false;
  if (!ok) LOG(ERROR) << "Upload of " << local_path << " to " << device_path << " failed";
  return ok;
}

bool UploadTree(const ZEBDeviceService& afc, const std::string& local_folder, const std::string& device_path) {
  if (MakeDirectory(afc, device_path) != 1) return false;
  std::error_code error;
  std::filesystem::directory_iterator entries(local_folder, error);
  if (error) return false;
  bool ok = true;
  for (const std::filesystem::directory_entry& entry : entries) {
    std::string name = entry.path().filename().string();
    std::string child = ChildPath(device_path, name);
    if (entry.is_symlink(error)) continue;
    if (entry.is_directory(error)) {
      ok = UploadTree(afc, entry.path().string(), child) && ok;
    } else if (entry.is_regular_file(error)) {
      ok = UploadFile(afc, entry.path().string(), child) && ok;
    }
  }
  return ok;
}

bool RenamePath(const ZEBDeviceService& afc, const std::string& from, const std::string& to) {
  return AFCRenamePath(DeviceHandles::Afc(afc), from.c_str(), to.c_str()) == kAMDSuccess;
}

bool DownloadFile(const ZEBDeviceService& afc, const std::string& device_path, const std::string& local_path) {
  // The content goes into a new file beside the target and takes the target's name only when it is complete, so
  // a failed download leaves whatever was there before untouched.
  std::string temporary = platform::CreateTemporaryBeside(local_path);
  if (temporary.empty()) return false;
  LocalFile local(temporary, "wb");
  bool ok = local.get() != nullptr && ReadDeviceFile(afc, device_path, [&](const char* bytes, uint32_t length) {
              return std::fwrite(bytes, 1, length, local.get()) == length;
            });
  if (ok && local.Close() && platform::ReplaceFile(temporary, local_path)) return true;
  LOG(ERROR) << "Download of " << device_path << " to " << local_path << " failed";
  local.Discard();
  return false;
}

bool DownloadFileToMemory(const ZEBDeviceService& afc, const std::string& device_path, std::string* text) {
  size_t before = text->size();
  bool ok = ReadDeviceFile(
      afc, device_path,
      [&](const char* bytes, uint32_t length) {
        text->append(bytes, length);
        return true;
      },
      kMaxFileInMemory);
  if (!ok) text->resize(before);
  return ok;
}

bool DownloadTree(const ZEBDeviceService& afc, const std::string& device_path, const std::string& local_folder) {
  ZEBFileInfo info;
  if (!GetFileInfo(afc, device_path, &info) || !info.IsDirectory()) return false;
  if (!platform::CreateDirectories(local_folder)) return false;
  std::vector<std::string> names;
  if (!ListDirectory(afc, device_path, &names)) return false;
  bool complete = true;
  for (const std::string& name : names) {
    if (!IsSafeEntryName(name)) {
      LOG(ERROR) << "Skipped a device entry whose name cannot be a local file name, in " << device_path;
      continue;
    }
    std::string child = ChildPath(device_path, name);
    ZEBFileInfo child_info;
    // An entry that is gone by now (or whose listed name was not its whole name) has nothing to copy.
    if (!GetFileInfo(afc, child, &child_info)) continue;
    std::string local_child = ChildPath(local_folder, name);
    if (child_info.IsDirectory()) {
      complete = DownloadTree(afc, child, local_child) && complete;
    } else if (child_info.IsRegularFile()) {
      complete = DownloadFile(afc, child, local_child) && complete;
    }
  }
  return complete;
}

bool IsJailbroken(const ZEBDeviceConnection& device) {
  int error = 0;
  ZEBDeviceServicePtr service = StartService(device, kServiceAfc2, &error, {}, true);
  if (!service) return false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    AFCDirectoryRef directory = nullptr;
    if (AFCDirectoryOpen(DeviceHandles::Afc(*service), kCydiaAutoInstall, &directory) == kAMDSuccess) {
      AFCDirectoryClose(directory);
      return true;
    }
  }
  return false;
}
