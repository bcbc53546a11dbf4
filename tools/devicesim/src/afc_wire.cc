#include "afc_wire.h"

#include <cstdio>
#include <cstring>

namespace devicesim {

uint64_t ReadLe64(const unsigned char* bytes) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

void AppendLe64(std::string* out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool ParseAfcHeader(const unsigned char* bytes, AfcHeader* header) {
  if (std::memcmp(bytes, kAfcMagic, 8) != 0) return false;
  header->entire_length = ReadLe64(bytes + 8);
  header->this_length = ReadLe64(bytes + 16);
  header->packet_num = ReadLe64(bytes + 24);
  header->operation = ReadLe64(bytes + 32);
  return header->this_length >= kAfcHeaderSize && header->entire_length >= header->this_length;
}

std::string BuildAfcHeader(uint64_t operation, uint64_t packet_num, size_t fields, size_t payload) {
  std::string header(kAfcMagic, 8);
  AppendLe64(&header, kAfcHeaderSize + fields + payload);
  AppendLe64(&header, kAfcHeaderSize + fields);
  AppendLe64(&header, packet_num);
  AppendLe64(&header, operation);
  return header;
}

std::string AfcOperationName(uint64_t operation) {
  static constexpr struct {
    uint64_t operation;
    const char* name;
  } kNames[] = {
      {kAfcStatus, "STATUS"},
      {kAfcData, "DATA"},
      {kAfcReadDir, "READ_DIR"},
      {kAfcTruncate, "TRUNCATE"},
      {kAfcRemovePath, "REMOVE_PATH"},
      {kAfcMakeDir, "MAKE_DIR"},
      {kAfcGetFileInfo, "GET_FILE_INFO"},
      {kAfcGetDevInfo, "GET_DEVINFO"},
      {kAfcFileOpen, "FILE_OPEN"},
      {kAfcFileRead, "FILE_READ"},
      {kAfcFileWrite, "FILE_WRITE"},
      {kAfcFileSeek, "FILE_SEEK"},
      {kAfcFileTell, "FILE_TELL"},
      {kAfcFileClose, "FILE_CLOSE"},
      {kAfcFileSetSize, "FILE_SET_SIZE"},
      {kAfcRenamePath, "RENAME_PATH"},
      {kAfcFileLock, "FILE_LOCK"},
      {kAfcMakeLink, "MAKE_LINK"},
      {kAfcSetFileModTime, "SET_FILE_MOD_TIME"},
      {kAfcRemovePathAndContents, "REMOVE_PATH_AND_CONTENTS"},
  };
  for (const auto& entry : kNames) {
    if (entry.operation == operation) return entry.name;
  }
  char text[32];
  std::snprintf(text, sizeof(text), "OP_0x%llx", static_cast<unsigned long long>(operation));
  return text;
}

std::string EncodeStrings(const std::vector<std::string>& strings) {
  std::string out;
  for (const std::string& text : strings) {
    out += text;
    out.push_back('\0');
  }
  return out;
}

std::string EncodeKeyValues(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string out;
  for (const auto& [key, value] : pairs) {
    out += key;
    out.push_back('\0');
    out += value;
    out.push_back('\0');
  }
  return out;
}

std::string StringAt(const std::string& fields, size_t offset, size_t* next) {
  if (offset >= fields.size()) {
    if (next) *next = fields.size();
    return std::string();
  }
  size_t end = fields.find('\0', offset);
  if (end == std::string::npos) end = fields.size();
  if (next) *next = end < fields.size() ? end + 1 : end;
  return fields.substr(offset, end - offset);
}

}  // namespace devicesim
