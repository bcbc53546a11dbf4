// The AFC packet format: a 40-byte little-endian header (magic "CFA6LPAA", entire_length, this_length,
// packet_num, operation), request fields up to this_length, then the payload up to entire_length. Parsing,
// building and the operation table; no I/O.
//
// Stateless functions, safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace devicesim {

inline constexpr size_t kAfcHeaderSize = 40;
inline constexpr char kAfcMagic[] = "CFA6LPAA";

// The operations the simulator serves (values on the wire).
enum AfcOperation : uint64_t {
  kAfcStatus = 0x01,
  kAfcData = 0x02,
  kAfcReadDir = 0x03,
  kAfcTruncate = 0x07,
  kAfcRemovePath = 0x08,
  kAfcMakeDir = 0x09,
  kAfcGetFileInfo = 0x0A,
  kAfcGetDevInfo = 0x0B,
  kAfcFileOpen = 0x0D,
  kAfcFileOpenResult = 0x0E,
  kAfcFileRead = 0x0F,
  kAfcFileWrite = 0x10,
  kAfcFileSeek = 0x11,
  kAfcFileTell = 0x12,
  kAfcFileTellResult = 0x13,
  kAfcFileClose = 0x14,
  kAfcFileSetSize = 0x15,
  kAfcRenamePath = 0x18,
  kAfcMakeLink = 0x1C,
  kAfcFileLock = 0x1B,
  kAfcSetFileModTime = 0x1E,
  kAfcRemovePathAndContents = 0x22,
};

// AFC status codes sent in STATUS answers.
enum AfcStatusCode : uint64_t {
  kAfcSuccess = 0,
  kAfcUnknownError = 1,
  kAfcIoReadError = 4,
  kAfcWriteError = 5,
  kAfcInvalidArgument = 7,
  kAfcObjectNotFound = 8,
  kAfcObjectIsDir = 9,
  kAfcPermissionDenied = 10,
  kAfcOpNotSupported = 15,
  kAfcObjectExists = 16,
  kAfcNoSpaceLeft = 18,
  kAfcOpWouldBlock = 19,
  kAfcIoError = 20,
};

struct AfcHeader {
  uint64_t entire_length = 0;
  uint64_t this_length = 0;
  uint64_t packet_num = 0;
  uint64_t operation = 0;
};

// Decodes 40 bytes. False for a wrong magic or lengths that do not nest (header <= this <= entire).
bool ParseAfcHeader(const unsigned char* bytes, AfcHeader* header);
// 40 header bytes for an answer with `fields` bytes inside this_length and `payload` bytes after it.
std::string BuildAfcHeader(uint64_t operation, uint64_t packet_num, size_t fields, size_t payload);

// The operation's name for the request log ("FILE_OPEN"); "OP_0x.." for unknown values.
std::string AfcOperationName(uint64_t operation);

uint64_t ReadLe64(const unsigned char* bytes);
void AppendLe64(std::string* out, uint64_t value);

// NUL-terminated strings one after another, as READ_DIR answers and key/value lists use them.
std::string EncodeStrings(const std::vector<std::string>& strings);
std::string EncodeKeyValues(const std::vector<std::pair<std::string, std::string>>& pairs);
// The first NUL-terminated string at `offset` in `fields` (up to the end when no NUL follows).
std::string StringAt(const std::string& fields, size_t offset, size_t* next = nullptr);

}  // namespace devicesim
