// Test helpers: the byte stream a scripted device sends (framed messages and raw upload streams in one
// sequence) and a device-link channel that plays it back and records what the computer sends.
//
// Thread safety: test thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "iOSAPI/plist_message.h"
#include "iOSAPI/plist_value.h"
#include "utility/ios/device_link_channel.h"

namespace backup_test {

inline std::string U32(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

inline std::string Name(const std::string& name) { return U32(static_cast<uint32_t>(name.size())) + name; }

// One uploaded file: names, data in blocks of `block` bytes, the end block.
inline std::string UploadedFile(const std::string& target, const std::string& content, size_t block = 5) {
  std::string bytes = Name("/var/mobile/" + target) + Name(target);
  for (size_t at = 0; at < content.size(); at += block) {
    std::string piece = content.substr(at, block);
    bytes += U32(static_cast<uint32_t>(piece.size() + 1)) + '\x0c' + piece;
  }
  return bytes + U32(1) + '\0';
}

inline std::string Framed(const PlistValue& message) {
  std::string body = *SerializePlist(message, PlistFormat::kBinary);
  return U32(static_cast<uint32_t>(body.size())) + body;
}

// Plays back one prepared stream; the stream's end is a closed connection.
class ScriptedChannel : public DeviceLinkChannel {
 public:
  explicit ScriptedChannel(std::string stream, std::vector<PlistValue>* sent, std::string* raw_sent)
      : stream_(std::move(stream)), sent_(sent), raw_sent_(raw_sent) {}

  bool SendMessage(std::string_view plist) override {
    PlistValue value;
    if (!ParseMessage(plist.data(), plist.size(), &value)) return false;
    sent_->push_back(value);
    return true;
  }
  Status ReceiveMessage(std::string* plist, unsigned) override {
    char length[4];
    if (at_ == stream_.size()) return Status::kClosed;
    if (!ReceiveBytes(length, 4)) return Status::kClosed;
    uint32_t size = (uint32_t{static_cast<unsigned char>(length[0])} << 24) |
                    (uint32_t{static_cast<unsigned char>(length[1])} << 16) |
                    (uint32_t{static_cast<unsigned char>(length[2])} << 8) | static_cast<unsigned char>(length[3]);
    plist->resize(size);
    return ReceiveBytes(plist->data(), size) ? Status::kMessage : Status::kClosed;
  }
  bool SendBytes(std::string_view bytes) override {
    raw_sent_->append(bytes);
    return true;
  }
  bool ReceiveBytes(char* buffer, size_t length) override {
    if (stream_.size() - at_ < length) {
      at_ = stream_.size();
      return false;
    }
    stream_.copy(buffer, length, at_);
    at_ += length;
    return true;
  }

 private:
  std::string stream_;
  size_t at_ = 0;
  std::vector<PlistValue>* sent_;
  std::string* raw_sent_;
};

}  // namespace backup_test
