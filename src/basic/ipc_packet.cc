#include "basic/ipc_packet.h"

#include <cstring>

namespace bas {
namespace {

template <class T>
void PutLittleEndian(char* out, T value) {
  for (size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

template <class T>
T GetLittleEndian(const char* in) {
  T value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(static_cast<uint8_t>(in[i])) << (8 * i);
  return value;
}

}  // namespace

void EncodePacketHeader(const IPCPacketHeader& header, char out[kPacketHeaderSize]) {
  std::memcpy(out, kPacketMagic.data(), kPacketMagic.size());
  static const char kFiller[6] = {1, 2, 3, 4, 5, 6};
  std::memcpy(out + 8, kFiller, sizeof kFiller);
  PutLittleEndian(out + 14, header.task_id);
  PutLittleEndian(out + 22, header.type);
  PutLittleEndian(out + 26, header.code);
  PutLittleEndian(out + 28, header.length);
}

bool DecodePacketHeader(const char in[kPacketHeaderSize], IPCPacketHeader* header) {
  if (std::memcmp(in, kPacketMagic.data(), kPacketMagic.size()) != 0) return false;
  header->task_id = GetLittleEndian<uint64_t>(in + 14);
  header->type = GetLittleEndian<uint32_t>(in + 22);
  header->code = GetLittleEndian<uint16_t>(in + 26);
  header->length = GetLittleEndian<uint64_t>(in + 28);
  return true;
}

}  // namespace bas
