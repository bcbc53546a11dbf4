#include "backup_transfer.h"

#include <unistd.h>

#include <vector>

#include "plist_channel.h"

namespace devicesim {
namespace {

// Large blocks keep the per-block overhead low; the computer reads a block in pieces of its own choosing.
constexpr uint64_t kUploadBlock = 4u << 20;

bool ReadU32(Stream& stream, uint32_t* value) {
  unsigned char bytes[4];
  if (!stream.ReadExact(bytes, sizeof(bytes))) return false;
  *value = DecodeLength(bytes, LengthOrder::kBigEndian);
  return true;
}

bool SendName(Stream& stream, const std::string& name) {
  std::string prefix = EncodeLength(static_cast<uint32_t>(name.size()), LengthOrder::kBigEndian);
  return stream.WriteParts(prefix.data(), prefix.size(), name.data(), name.size());
}

}  // namespace

bool SendBlockHeader(Stream& stream, uint32_t payload_size, unsigned char code) {
  std::string header = EncodeLength(payload_size + 1, LengthOrder::kBigEndian);
  header.push_back(static_cast<char>(code));
  return stream.Write(header.data(), header.size());
}

bool SendUploadNames(Stream& stream, const std::string& device_path, const std::string& target_name) {
  return SendName(stream, device_path) && SendName(stream, target_name);
}

bool SendUploadContent(Stream& stream, int fd, uint64_t size) {
  for (uint64_t sent = 0; sent < size;) {
    uint32_t block = static_cast<uint32_t>(std::min(kUploadBlock, size - sent));
    if (!SendBlockHeader(stream, block, kBlockData) || !stream.SendFile(fd, block)) return false;
    sent += block;
  }
  return SendBlockHeader(stream, 0, kBlockEnd);
}

bool SendUploadBytes(Stream& stream, const std::string& content) {
  for (size_t sent = 0; sent < content.size();) {
    uint32_t block = static_cast<uint32_t>(std::min<uint64_t>(kUploadBlock, content.size() - sent));
    std::string header = EncodeLength(block + 1, LengthOrder::kBigEndian);
    header.push_back(static_cast<char>(kBlockData));
    if (!stream.WriteParts(header.data(), header.size(), content.data() + sent, block)) return false;
    sent += block;
  }
  return SendBlockHeader(stream, 0, kBlockEnd);
}

bool SendEndOfFiles(Stream& stream) {
  std::string zero = EncodeLength(0, LengthOrder::kBigEndian);
  return stream.Write(zero.data(), zero.size());
}

bool ReceiveDownloads(Stream& stream, DownloadSink& sink, std::map<std::string, std::string>* missing) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    uint32_t name_size = 0;
    if (!ReadU32(stream, &name_size)) return false;
    if (name_size == 0) return true;
    if (name_size > kMaxTransferName) return false;
    std::string name(name_size, '\0');
    if (!stream.ReadExact(name.data(), name.size())) return false;
    bool open = sink.Open(name);
    for (;;) {
      uint32_t length = 0;
      unsigned char code = 0;
      if (!ReadU32(stream, &length) || length == 0 || !stream.ReadExact(&code, 1)) {
        if (open) sink.Close(false);
        return false;
      }
      uint64_t payload = length - 1;
      if (code == kBlockData) {
        for (uint64_t done = 0; done < payload;) {
          size_t piece = static_cast<size_t>(std::min<uint64_t>(buffer.size(), payload - done));
          if (!stream.ReadExact(buffer.data(), piece)) {
            if (open) sink.Close(false);
            return false;
          }
          if (open && !sink.Append(buffer.data(), piece)) {
            sink.Close(false);
            open = false;
          }
          done += piece;
        }
        continue;
      }
      std::string text(static_cast<size_t>(std::min<uint64_t>(payload, kMaxTransferName)), '\0');
      if (!stream.ReadExact(text.data(), text.size()) || !stream.Skip(payload - text.size())) {
        if (open) sink.Close(false);
        return false;
      }
      bool failed = code != kBlockEnd;
      if (failed) (*missing)[name] = text;
      if (open) sink.Close(!failed);
      break;
    }
  }
}

bool MemoryDownloads::Open(const std::string& name) {
  current_name_ = name;
  current_.clear();
  return true;
}

bool MemoryDownloads::Append(const char* data, size_t size) {
  if (current_.size() + size > limit_) return false;
  current_.append(data, size);
  return true;
}

void MemoryDownloads::Close(bool complete) {
  if (complete) files_[current_name_] = std::move(current_);
  current_.clear();
}

}  // namespace devicesim
