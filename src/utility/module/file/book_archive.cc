// A book folder packed into one zip archive, with minizip.
#include <glog/logging.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"
#include "utility/module/file/file_internal.h"

namespace file {
namespace {

namespace fs = std::filesystem;

// The files below `folder`, as relative paths with "/", in the order they go into the archive.
bool ListFiles(const fs::path& folder, std::vector<std::string>* files) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error)) files->push_back(fs::relative(it->path(), folder, error).generic_string());
  }
  if (error) return false;
  std::sort(files->begin(), files->end());
  auto mimetype = std::find(files->begin(), files->end(), "mimetype");
  if (mimetype != files->end()) std::rotate(files->begin(), mimetype, mimetype + 1);
  return true;
}

zip_fileinfo EntryInfo(const fs::path& file) {
  zip_fileinfo info{};
  std::error_code error;
  fs::file_time_type written = fs::last_write_time(file, error);
  if (error) return info;
  std::time_t seconds = std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(written));
  std::tm local{};
  localtime_r(&seconds, &local);
  info.tmz_date = {static_cast<uInt>(local.tm_sec), static_cast<uInt>(local.tm_min), static_cast<uInt>(local.tm_hour),
                   static_cast<uInt>(local.tm_mday), static_cast<uInt>(local.tm_mon),
                   static_cast<uInt>(local.tm_year + 1900)};
  return info;
}

bool AddEntry(zipFile zip, const fs::path& file, const std::string& name) {
  std::FILE* input = std::fopen(file.c_str(), "rb");
  if (input == nullptr) return false;
  std::error_code error;
  uintmax_t size = fs::file_size(file, error);
  zip_fileinfo info = EntryInfo(file);
  bool stored = name == "mimetype";
  int zip64 = !error && size >= 0xFFFFFFFFu ? 1 : 0;
  bool ok = zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, stored ? 0 : Z_DEFLATED,
                                  stored ? 0 : Z_DEFAULT_COMPRESSION, zip64) == ZIP_OK;
  char* buffer = TransferBuffer();
  while (ok) {
    size_t n = std::fread(buffer, 1, kTransferChunk, input);
    if (n > 0) ok = zipWriteInFileInZip(zip, buffer, static_cast<unsigned>(n)) == ZIP_OK;
    if (n < kTransferChunk) {
      ok = ok && std::ferror(input) == 0;
      break;
    }
  }
  ok = zipCloseFileInZip(zip) == ZIP_OK && ok;
  std::fclose(input);
  return ok;
}

}  // namespace

bool ZipFolder(const std::string& folder, const std::string& zip_path) {
  std::vector<std::string> files;
  if (!ListFiles(folder, &files)) return false;
  // The archive is written beside its target and takes the target's name when complete, so a failure leaves an
  // existing file of that name as it was.
  std::string temporary = platform::CreateTemporaryBeside(zip_path);
  if (temporary.empty()) return false;
  zipFile zip = zipOpen64(temporary.c_str(), APPEND_STATUS_CREATE);
  bool ok = zip != nullptr;
  for (size_t i = 0; ok && i < files.size(); ++i) ok = AddEntry(zip, fs::path(folder) / files[i], files[i]);
  if (zip != nullptr) ok = zipClose(zip, nullptr) == ZIP_OK && ok;
  if (ok && platform::ReplaceFile(temporary, zip_path)) return true;
  LOG(ERROR) << "Could not pack " << folder << " into " << zip_path;
  std::remove(temporary.c_str());
  return false;
}

}  // namespace file
