#include "plist_channel.h"

#include <vector>

namespace devicesim {

std::string EncodeLength(uint32_t length, LengthOrder order) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) {
    int shift = order == LengthOrder::kBigEndian ? 8 * (3 - i) : 8 * i;
    bytes[i] = static_cast<char>((length >> shift) & 0xFF);
  }
  return bytes;
}

uint32_t DecodeLength(const unsigned char* bytes, LengthOrder order) {
  uint32_t length = 0;
  for (int i = 0; i < 4; ++i) {
    int shift = order == LengthOrder::kBigEndian ? 8 * (3 - i) : 8 * i;
    length |= static_cast<uint32_t>(bytes[i]) << shift;
  }
  return length;
}

PlistPtr ReadPlistMessage(Stream& stream, LengthOrder order) {
  unsigned char prefix[4];
  if (!stream.ReadExact(prefix, sizeof(prefix))) return nullptr;
  uint32_t length = DecodeLength(prefix, order);
  if (length == 0 || length > kMaxPlistMessage) return nullptr;
  std::vector<char> body(length);
  if (!stream.ReadExact(body.data(), body.size())) return nullptr;
  return ParsePlist(body.data(), body.size());
}

bool WritePlistMessage(Stream& stream, LengthOrder order, plist_t message, PlistFormat format) {
  std::string body = format == PlistFormat::kXml ? ToXml(message) : ToBinary(message);
  std::string prefix = EncodeLength(static_cast<uint32_t>(body.size()), order);
  return stream.WriteParts(prefix.data(), prefix.size(), body.data(), body.size());
}

}  // namespace devicesim
