// Property-list messages framed by a 4-byte length: big-endian for lockdownd and most services, little-endian
// for the air-traffic service.
//
// Stateless functions over a Stream; the stream's thread rules apply.
#pragma once

#include <string>

#include "plist_util.h"
#include "stream.h"

namespace devicesim {

enum class LengthOrder { kBigEndian, kLittleEndian };
enum class PlistFormat { kXml, kBinary };

// The longest message the simulator accepts from a client; a longer announced length ends the connection.
inline constexpr uint32_t kMaxPlistMessage = 32u << 20;

// Reads one message; null on end of stream, an announced length of 0 or above kMaxPlistMessage, or bytes that
// are no property list.
PlistPtr ReadPlistMessage(Stream& stream, LengthOrder order);
bool WritePlistMessage(Stream& stream, LengthOrder order, plist_t message, PlistFormat format);

// The 4 length bytes in the given order.
std::string EncodeLength(uint32_t length, LengthOrder order);
uint32_t DecodeLength(const unsigned char* bytes, LengthOrder order);

}  // namespace devicesim
