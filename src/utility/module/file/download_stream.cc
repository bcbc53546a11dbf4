// A device file read in 4 MiB chunks for the host, the next chunk read from the device while this one is
// compressed and sent.
#include <glog/logging.h>

#include "utility/module/file/file_internal.h"

namespace file {

std::unique_ptr<DownloadStream> DownloadStream::Open(ZEBDeviceServicePtr afc, const std::string& path) {
  ZEBFileInfo info;
  if (!GetFileInfo(afc->afcConnection, path, &info) || !info.IsRegularFile()) return nullptr;
  uint64_t file = 0;
  if (AFCFileRefOpen(afc->afcConnection, path.c_str(), kAFCModeRead, &file) != kAMDSuccess) return nullptr;
  return std::unique_ptr<DownloadStream>(new DownloadStream(std::move(afc), path, file, info.size));
}

void DownloadStream::Close() {
  // The read ahead uses the file handle: it ends before the handle goes.
  if (read_ahead_.valid()) read_ahead_.wait();
  if (open_) AFCFileRefClose(afc_->afcConnection, file_);
  open_ = false;
}

int64_t DownloadStream::Fill(char* buffer, int64_t offset) {
  size_t wanted = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kTransferChunk), size_ - offset));
  size_t have = 0;
  // A read may return less than asked; the host gets whole 4 MiB chunks but the last.
  while (have < wanted) {
    uint32_t length = static_cast<uint32_t>(wanted - have);
    if (AFCFileRefRead(afc_->afcConnection, file_, buffer + have, &length) != kAMDSuccess || length == 0) {
      LOG(ERROR) << "Download stopped at " << offset + static_cast<int64_t>(have) << " of " << size_ << " bytes";
      return -1;
    }
    have += length;
  }
  return static_cast<int64_t>(have);
}

bool DownloadStream::ReadChunk(std::string_view* chunk) {
  if (!open_) return false;
  size_t buffer_size = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kTransferChunk), size_));
  if (!buffers_[0]) {
    buffers_[0].reset(new char[buffer_size]);
    // A file of one chunk has nothing to read ahead.
    if (size_ > static_cast<int64_t>(kTransferChunk)) buffers_[1].reset(new char[buffer_size]);
  }
  char* buffer = buffers_[current_].get();
  int64_t have = read_ahead_.valid() ? read_ahead_.get() : Fill(buffer, offset_);
  if (have < 0) return false;
  *chunk = std::string_view(buffer, static_cast<size_t>(have));
  offset_ += have;
  if (offset_ < size_) {
    current_ ^= 1;
    char* next = buffers_[current_].get();
    int64_t at = offset_;
    read_ahead_ = std::async(std::launch::async, [this, next, at] { return Fill(next, at); });
  }
  return true;
}

}  // namespace file
