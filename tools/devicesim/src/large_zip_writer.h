// Writes a zip archive of stored (uncompressed) or deflated members with zip64 records where sizes or offsets need them, and leaves runs
// of zeros as holes, so archives of many gigabytes cost no disk blocks. For WriteLargeIpa.
//
// Stateless; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devicesim {

struct LargeZipMember {
  std::string name{};
  std::string content{};  // the bytes, unless zeros > 0
  uint64_t zeros = 0;     // a member of this many zero bytes, written as a hole
  bool deflated = false;  // content compressed with deflate instead of stored (not for zeros)
};

bool WriteStoredZip64(const std::string& path, const std::vector<LargeZipMember>& members);

}  // namespace devicesim
