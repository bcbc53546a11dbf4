// A device file read in 4 MiB chunks for the host, the next chunk read from the device while this one is
// compressed and sent.
#include <glog/logging.h>

#include "utility/module/file/file_internal.h"

namespace file {

std::unique_ptr<DownloadStream> DownloadStream::Open(ZEBDeviceServicePtr afc, const std::string& path) {
  ZEBFileInfo info;
  if (!GetFileInfo(*afc, path, &info) || !info.IsRegularFile()) return nullptr;
  std::unique_ptr<ZEBAfcFile> file = ZEBAfcFile::Open(*afc, path, ZEBAfcFile::Mode::kRead);
  if (!file) return nullptr;
  return std::unique_ptr<DownloadStream>(new DownloadStream(std::move(afc), path, std::move(file), info.size));
}

void DownloadStream::Close() {
  // The read ahead uses the file handle: it ends before the handle goes.
  if (read_ahead_.valid()) read_ahead_.wait();
  file_->Close();
  open_ = false;
}

int64_t DownloadStream::Fill(char* buffer, int64_t offset) {
  size_t wanted = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kTransferChunk), size_ - offset));
  // A read may return less than asked; the host gets whole 4 MiB chunks but the last.
  if (!file_->ReadFully(buffer, wanted)) {
    LOG(ERROR) << "Download stopped in the chunk at " << offset << " of " << size_ << " bytes";
    return -1;
  }
  return static_cast<int64_t>(wanted);
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
