#include "hostlink/packet.h"

namespace hostlink {
namespace {

template <typename T>
void AppendLittleEndian(std::string* out, T value) {
  for (size_t i = 0; i < sizeof(T); ++i) {
    out->push_back(static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xff));
  }
}

template <typename T>
T ReadLittleEndian(std::string_view bytes, size_t offset) {
  uint64_t value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) {
    value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  }
  return static_cast<T>(value);
}

}  // namespace

std::string EncodeHeader(const PacketHeader& header) {
  std::string out;
  out.reserve(kHeaderSize);
  out.append(kMagic);
  out.append(kMagicTail);
  AppendLittleEndian(&out, header.task_id);
  AppendLittleEndian(&out, header.packet_type);
  AppendLittleEndian(&out, header.code);
  AppendLittleEndian(&out, header.payload_size);
  return out;
}

bool DecodeHeader(std::string_view bytes, PacketHeader* header) {
  if (bytes.size() < kHeaderSize || bytes.substr(0, 8) != kMagic || bytes.substr(8, 6) != kMagicTail) {
    return false;
  }
  header->task_id = ReadLittleEndian<uint64_t>(bytes, 14);
  header->packet_type = ReadLittleEndian<uint32_t>(bytes, 22);
  header->code = ReadLittleEndian<uint16_t>(bytes, 26);
  header->payload_size = ReadLittleEndian<uint64_t>(bytes, 28);
  return true;
}

std::string EncodePacket(uint64_t task_id, uint32_t packet_type, uint16_t code, std::string_view payload) {
  std::string out = EncodeHeader({task_id, packet_type, code, payload.size()});
  out.append(payload);
  return out;
}

std::string EncodeCommandPayload(std::string_view json, std::string_view data, std::string_view marker) {
  std::string payload;
  payload.reserve(marker.size() + json.size() + data.size() + 2);
  payload.append(marker);
  payload.push_back('\0');
  payload.append(json);
  payload.push_back('\0');
  payload.append(data);
  return payload;
}

std::string EncodeCommand(uint64_t task_id, uint32_t packet_type, std::string_view json, std::string_view data,
                          std::string_view marker, uint16_t code) {
  return EncodePacket(task_id, packet_type, code, EncodeCommandPayload(json, data, marker));
}

}  // namespace hostlink
