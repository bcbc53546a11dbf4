#include "utility/backup/download_sender.h"

#include <glog/logging.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr unsigned char kBlockEnd = 0;
constexpr unsigned char kBlockLocalError = 6;
constexpr unsigned char kBlockData = 12;

void AppendLength(std::string* out, uint32_t length) {
  out->push_back(static_cast<char>(length >> 24));
  out->push_back(static_cast<char>(length >> 16));
  out->push_back(static_cast<char>(length >> 8));
  out->push_back(static_cast<char>(length));
}

std::string Block(unsigned char code, std::string_view payload) {
  std::string block;
  AppendLength(&block, static_cast<uint32_t>(payload.size() + 1));
  block.push_back(static_cast<char>(code));
  block.append(payload);
  return block;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

enum class Sent { kWhole, kError, kBroken };

// Sends the content of an open file; on a read failure the device gets the error block instead of the end.
Sent SendContent(const ByteWriter& write, std::FILE* file, std::string* error) {
  std::string block(5 + kDownloadBlock, '\0');
  for (;;) {
    size_t got = std::fread(block.data() + 5, 1, kDownloadBlock, file);
    if (got == 0) break;
    std::string header;
    AppendLength(&header, static_cast<uint32_t>(got + 1));
    header.push_back(static_cast<char>(kBlockData));
    block.replace(0, 5, header);
    if (!write(std::string_view(block.data(), 5 + got))) return Sent::kBroken;
  }
  if (std::ferror(file)) {
    *error = std::strerror(errno == 0 ? EIO : errno);
    LOG(ERROR) << "read error " << *error;
    return write(Block(kBlockLocalError, *error)) ? Sent::kError : Sent::kBroken;
  }
  return write(Block(kBlockEnd, {})) ? Sent::kWhole : Sent::kBroken;
}

}  // namespace

DownloadOutcome SendRequestedFiles(const ByteWriter& write, const BackupPathMap& paths,
                                   const std::vector<std::string>& names) {
  DownloadOutcome outcome;
  for (const std::string& name : names) {
    std::string head;
    AppendLength(&head, static_cast<uint32_t>(name.size()));
    head.append(name);
    if (!write(head)) return outcome;
    std::string local, error;
    std::unique_ptr<std::FILE, FileCloser> file;
    if (!paths.Map(name, &local)) {
      LOG(ERROR) << "Refused download outside the backup folder: " << name.substr(0, 256);
      error = std::strerror(EPERM);
    } else {
      errno = 0;
      file.reset(std::fopen(local.c_str(), "rb"));
      if (!file) {
        int number = errno == 0 ? ENOENT : errno;
        if (number != ENOENT) LOG(ERROR) << "stat failed on '" << local << "': " << number;
        error = std::strerror(number);
      }
    }
    Sent sent = file ? SendContent(write, file.get(), &error)
                     : (write(Block(kBlockLocalError, error)) ? Sent::kError : Sent::kBroken);
    if (sent == Sent::kBroken) return outcome;
    if (sent == Sent::kWhole) {
      ++outcome.files;
    } else {
      outcome.missing[name] = error;
    }
  }
  std::string end;
  AppendLength(&end, 0);
  outcome.sent = write(end);
  return outcome;
}
