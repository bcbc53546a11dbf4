// Fuzz target: a package the user hands over can be any bytes. The input is a little header, a zip64 extra field
// and an archive; the archive is read as a package (directory, Info.plist, store metadata) and the direct member
// reader is pointed into it with the extra field, as it is for members beyond 4 GiB. Neither crashes, reads
// outside the file or allocates beyond its limit.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "utility/module/app/app_package.h"
#include "utility/module/app/app_zip_member.h"

namespace {

// Header: method (1 byte: even = stored, odd = deflate), CRC (4), extra field length (2), then the extra field.
constexpr size_t kHeader = 7;
constexpr size_t kLimit = 1 << 20;

const std::string& ArchivePath() {
  static const std::string path = "/tmp/corvane-package-fuzz-" + std::to_string(::getpid()) + ".ipa";
  return path;
}

uint32_t Little32(const uint8_t* bytes) {
  return bytes[0] | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[3]} << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeader) return 0;
  size_t extra_length = data[5] | (size_t{data[6]} << 8);
  if (extra_length > size - kHeader) return 0;
  std::string_view extra(reinterpret_cast<const char*>(data + kHeader), extra_length);
  const uint8_t* archive = data + kHeader + extra_length;
  size_t archive_size = size - kHeader - extra_length;

  FILE* file = std::fopen(ArchivePath().c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(archive, 1, archive_size, file);
  std::fclose(file);

  unz_file_info64 entry{};
  entry.compression_method = (data[0] & 1) != 0 ? 8 : 0;
  entry.crc = Little32(data + 1);
  entry.compressed_size = 0xFFFFFFFF;
  entry.uncompressed_size = 0xFFFFFFFF;
  std::string member;
  ReadZipMemberDirectly(ArchivePath(), entry, extra, kLimit, &member);

  AppPackage package;
  std::string reason;
  ReadAppPackage(ArchivePath(), &package, &reason);
  return 0;
}
