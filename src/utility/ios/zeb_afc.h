// File operations on a device's file service (AFC), built on the device layer's AFC calls. Each runs on a service
// started with its AFC connection (StartService's `with_afc`).
//
// Device paths are UTF-8 with "/" separators; local paths are UTF-8. Transfers move 4 MiB at a time through one
// buffer per thread, allocated on the thread's first transfer and reused by every later one. A transfer reports
// failure when any read or write fails or comes up short. A download fills a new file beside its target and
// gives it the target's name only when complete: a failure leaves no partial file and an existing file intact.
//
// Names that come from the device are untrusted: DownloadTree never creates anything outside the local folder
// it was given; an entry named "." or "..", containing "/" or "\", or too long for a file name is skipped (and
// logged).
//
// Thread safety: any thread; the AFC connection serialises its own requests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "utility/ios/zeb_device_connection.h"
#include "utility/ios/zeb_device_service.h"

inline constexpr size_t kTransferChunk = 4 * 1024 * 1024;

struct ZEBFileInfo {
  uint32_t nlink = 0;
  uint32_t blocks = 0;
  int64_t size = 0;
  int64_t birthTime = 0;   // seconds since 1970
  int64_t modifyTime = 0;  // seconds since 1970
  std::string type;        // "S_IFDIR", "S_IFREG", "S_IFLNK", ...
  std::string linkTarget;

  bool IsDirectory() const { return type == "S_IFDIR"; }
  bool IsRegularFile() const { return type == "S_IFREG"; }
};

bool GetFileInfo(const ZEBDeviceService& afc, const std::string& path, ZEBFileInfo* info);
// The entry names of a device folder, without "." and ".."; false when the folder cannot be opened.
bool ListDirectory(const ZEBDeviceService& afc, const std::string& path, std::vector<std::string>* names);
bool RemovePath(const ZEBDeviceService& afc, const std::string& path);
// 1 when the directory exists afterwards (it may have existed before), else 0.
int MakeDirectory(const ZEBDeviceService& afc, const std::string& path);
// Removes a file, or a directory's content (and the directory itself when `remove_top` or `nested`).
bool RemoveTree(const ZEBDeviceService& afc, const std::string& path, bool remove_top, bool nested = false);
bool UploadFile(const ZEBDeviceService& afc, const std::string& local_path, const std::string& device_path);
// Uploads a local folder with everything in it as `device_path` (made when missing); links and other special
// files are skipped. False when any folder cannot be made or any file cannot be uploaded.
bool UploadTree(const ZEBDeviceService& afc, const std::string& local_folder, const std::string& device_path);
// Renames (moves) a device file or folder.
bool RenamePath(const ZEBDeviceService& afc, const std::string& from, const std::string& to);
bool DownloadFile(const ZEBDeviceService& afc, const std::string& device_path, const std::string& local_path);
// The most DownloadFileToMemory reads: the device's file service is not trusted to stop, and what is read into
// memory is small (the upload journal is at most 4 MiB; property lists and databases go to files).
inline constexpr int64_t kMaxFileInMemory = 16 * 1024 * 1024;
// Appends the file's content to `text`; false, leaving `text` as it was, when the file claims or sends more than
// kMaxFileInMemory bytes.
bool DownloadFileToMemory(const ZEBDeviceService& afc, const std::string& device_path, std::string* text);
// Copies the device folder into the local one. False when the folder itself, or a file or folder below it, could
// not be copied (the rest is still copied). Entries skipped by name or kind (not a file or folder), and entries
// gone before they could be read, are no failure.
bool DownloadTree(const ZEBDeviceService& afc, const std::string& device_path, const std::string& local_folder);

// True when the device offers "com.apple.afc2" and its Cydia auto-install folder can be opened.
bool IsJailbroken(const ZEBDeviceConnection& device);

// The calling thread's 4 MiB transfer buffer.
char* TransferBuffer();

// True for a name that may become a local file name as it is.
bool IsSafeEntryName(std::string_view name);
// `parent` + "/" (unless it ends in one) + `name`.
std::string ChildPath(const std::string& parent, const std::string& name);
