#include "utility/backup/upload_receiver.h"

#include <glog/logging.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr unsigned char kBlockEnd = 0;
constexpr unsigned char kBlockDeviceError = 11;
constexpr unsigned char kBlockData = 12;
// Longer error texts are cut; the rest of the block is read and dropped.
constexpr size_t kMaxErrorText = 4096;

bool ReadLength(const ByteReader& read, uint32_t* length) {
  unsigned char bytes[4];
  if (!read(reinterpret_cast<char*>(bytes), 4)) return false;
  *length = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
  return true;
}

std::FILE* CreateAnew(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wbx");
  if (file == nullptr && errno == EEXIST) {
    // Unlinked, not truncated: an earlier backup may share this file by hard link, and keeps its own copy.
    std::remove(path.c_str());
    file = std::fopen(path.c_str(), "wbx");
  }
  // The data arrive in large pieces already; a second buffer would only copy them once more.
  if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

std::string ErrorText(int error) { return error == 0 ? std::string("write failed") : std::strerror(error); }

}  // namespace

const char* UploadStatusName(UploadStatus status) {
  switch (status) {
    case UploadStatus::kDone: return "done";
    case UploadStatus::kCancelled: return "cancelled";
    case UploadStatus::kStreamFailed: return "stream failed";
    case UploadStatus::kRefusedName: return "refused name";
    case UploadStatus::kWriteFailed: return "write failed";
  }
  return "?";
}

UploadReceiver::UploadReceiver(const BackupPathMap& paths, UploadHooks hooks)
    : paths_(paths), hooks_(std::move(hooks)), buffer_(new char[kUploadBuffer]) {}

bool UploadReceiver::ReadName(const ByteReader& read, std::string* name, UploadOutcome* outcome) {
  uint32_t length = 0;
  if (!ReadLength(read, &length)) {
    outcome->status = UploadStatus::kStreamFailed;
    return false;
  }
  if (length > kMaxDevicePath) {
    outcome->status = UploadStatus::kRefusedName;
    outcome->detail = "a name of " + std::to_string(length) + " bytes";
    return false;
  }
  name->resize(length);
  if (length > 0 && !read(name->data(), length)) {
    outcome->status = UploadStatus::kStreamFailed;
    return false;
  }
  return true;
}

UploadOutcome UploadReceiver::Receive(const ByteReader& read) {
  UploadOutcome outcome;
  for (;;) {
    if (hooks_.cancelled && hooks_.cancelled()) {
      outcome.status = UploadStatus::kCancelled;
      return outcome;
    }
    std::string device_name, target;
    if (!ReadName(read, &device_name, &outcome)) return outcome;
    if (device_name.empty()) return outcome;  // the end of the upload
    if (!ReadName(read, &target, &outcome)) return outcome;
    std::string local;
    if (target.empty() || !paths_.Map(target, &local)) {
      outcome.status = UploadStatus::kRefusedName;
      outcome.detail = target;
      LOG(ERROR) << "Refused upload target outside the backup folder: " << target.substr(0, 256);
      return outcome;
    }
    if (!ReceiveFile(read, device_name, local, &outcome)) return outcome;
  }
}

bool UploadReceiver::ReceiveFile(const ByteReader& read, const std::string& device_name, const std::string& local,
                                 UploadOutcome* outcome) {
  std::FILE* file = nullptr;
  if (!hooks_.wanted || hooks_.wanted(local)) {
    errno = 0;
    file = hooks_.open ? hooks_.open(local) : CreateAnew(local);
    if (file == nullptr) {
      outcome->status = UploadStatus::kWriteFailed;
      outcome->detail = local + ": " + ErrorText(errno);
      return false;
    }
  }
  // Ends the file without keeping it; `status` kDone keeps the upload going.
  auto discard = [&](UploadStatus status, std::string detail) {
    if (file != nullptr) {
      std::fclose(file);
      std::remove(local.c_str());
    }
    outcome->status = status;
    outcome->detail = std::move(detail);
    return status == UploadStatus::kDone;
  };
  for (;;) {
    uint32_t length = 0;
    if (!ReadLength(read, &length)) return discard(UploadStatus::kStreamFailed, local);
    if (length == 0) break;
    unsigned char code = 0;
    if (!read(reinterpret_cast<char*>(&code), 1)) return discard(UploadStatus::kStreamFailed, local);
    uint64_t payload = length - 1;
    if (code == kBlockEnd) {
      if (payload != 0) return discard(UploadStatus::kStreamFailed, local);
      break;
    }
    if (code == kBlockDeviceError) {
      std::string text(static_cast<size_t>(std::min<uint64_t>(payload, kMaxErrorText)), '\0');
      if (!read(text.data(), text.size())) return discard(UploadStatus::kStreamFailed, local);
      for (uint64_t left = payload - text.size(); left > 0;) {
        size_t piece = static_cast<size_t>(std::min<uint64_t>(left, kUploadBuffer));
        if (!read(buffer_.get(), piece)) return discard(UploadStatus::kStreamFailed, local);
        left -= piece;
      }
      std::fprintf(stderr, "\nReceived an error message from device: %s\n", text.c_str());
      LOG(WARNING) << "Received an error message from device: " << text << " (" << device_name << ")";
      return discard(UploadStatus::kDone, std::string());
    }
    if (code != kBlockData) return discard(UploadStatus::kStreamFailed, local);
    while (payload > 0) {
      size_t piece = static_cast<size_t>(std::min<uint64_t>(payload, kUploadBuffer));
      if (!read(buffer_.get(), piece)) return discard(UploadStatus::kStreamFailed, local);
      errno = 0;
      if (file != nullptr && std::fwrite(buffer_.get(), 1, piece, file) != piece) {
        return discard(UploadStatus::kWriteFailed, local + ": " + ErrorText(errno));
      }
      payload -= piece;
      outcome->bytes += piece;
    }
  }
  if (file == nullptr) return true;
  errno = 0;
  if (std::fclose(file) != 0) {
    file = nullptr;
    std::remove(local.c_str());
    outcome->status = UploadStatus::kWriteFailed;
    outcome->detail = local + ": " + ErrorText(errno);
    return false;
  }
  ++outcome->files;
  if (hooks_.written) hooks_.written(device_name, local);
  return true;
}
