// A device file read in 4 MiB chunks for the host.
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
  if (open_) AFCFileRefClose(afc_->afcConnection, file_);
  open_ = false;
}

bool DownloadStream::ReadChunk(std::string_view* chunk) {
  if (!open_) return false;
  char* buffer = TransferBuffer();
  size_t wanted = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kTransferChunk), size_ - offset_));
  size_t have = 0;
  // A read may return less than asked; the host gets whole 4 MiB chunks but the last.
  while (have < wanted) {
    uint32_t length = static_cast<uint32_t>(wanted - have);
    if (AFCFileRefRead(afc_->afcConnection, file_, buffer + have, &length) != kAMDSuccess || length == 0) {
      LOG(ERROR) << "Download stopped at " << offset_ + static_cast<int64_t>(have) << " of " << size_ << " bytes";
      return false;
    }
    have += length;
  }
  *chunk = std::string_view(buffer, have);
  offset_ += static_cast<int64_t>(have);
  return true;
}

}  // namespace file
