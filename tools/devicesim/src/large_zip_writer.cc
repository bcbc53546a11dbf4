#include "large_zip_writer.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace devicesim {
namespace {

constexpr uint32_t kLocalHeader = 0x04034b50;
constexpr uint32_t kCentralHeader = 0x02014b50;
constexpr uint32_t kZip64End = 0x06064b50;
constexpr uint32_t kZip64Locator = 0x07064b50;
constexpr uint32_t kEnd = 0x06054b50;
constexpr uint16_t kVersionZip64 = 45;
constexpr uint32_t kNoFit32 = 0xFFFFFFFF;

class Bytes {
 public:
  Bytes& U16(uint64_t v) { return Little(v, 2); }
  Bytes& U32(uint64_t v) { return Little(v, 4); }
  Bytes& U64(uint64_t v) { return Little(v, 8); }
  Bytes& Text(const std::string& text) {
    data_ += text;
    return *this;
  }
  const std::string& data() const { return data_; }

 private:
  Bytes& Little(uint64_t v, int count) {
    for (int i = 0; i < count; ++i) data_ += static_cast<char>((v >> (8 * i)) & 0xFF);
    return *this;
  }
  std::string data_;
};

// A member being written: where its local header went, its checksum and its bytes as stored.
struct Member {
  const LargeZipMember& source;
  uint64_t offset = 0;
  uint32_t crc = 0;
  std::string stored{};
  const std::string& name() const { return source.name; }
  uint16_t method() const { return source.deflated ? 8 : 0; }
  uint64_t size() const { return source.zeros > 0 ? source.zeros : source.content.size(); }
  uint64_t stored_size() const { return source.zeros > 0 ? source.zeros : stored.size(); }
  bool zip64() const { return size() >= kNoFit32 || offset >= kNoFit32; }
};

// Raw deflate (no zlib header), as zip members carry it.
std::string Deflate(const std::string& content) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(content.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  stream.avail_in = static_cast<uInt>(content.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

uint32_t CrcOfZeros(uint64_t length) {
  std::vector<unsigned char> block(1 << 20, 0);
  uint32_t block_crc = static_cast<uint32_t>(crc32(0, block.data(), static_cast<uInt>(block.size())));
  uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  for (; length >= block.size(); length -= block.size()) {
    crc = static_cast<uint32_t>(crc32_combine64(crc, block_crc, static_cast<z_off64_t>(block.size())));
  }
  return static_cast<uint32_t>(crc32(crc, block.data(), static_cast<uInt>(length)));
}

std::string LocalHeader(const Member& m) {
  Bytes b;
  bool wide = m.zip64();
  b.U32(kLocalHeader).U16(wide ? kVersionZip64 : 20).U16(0).U16(m.method()).U16(0).U16(0x21).U32(m.crc);
  b.U32(wide ? kNoFit32 : m.stored_size()).U32(wide ? kNoFit32 : m.size()).U16(m.name().size()).U16(wide ? 20 : 0);
  b.Text(m.name());
  if (wide) b.U16(0x0001).U16(16).U64(m.size()).U64(m.stored_size());
  return b.data();
}

std::string CentralHeader(const Member& m) {
  Bytes extra;
  bool big_size = m.size() >= kNoFit32, big_offset = m.offset >= kNoFit32;
  if (big_size || big_offset) {
    Bytes fields;
    if (big_size) fields.U64(m.size()).U64(m.stored_size());
    if (big_offset) fields.U64(m.offset);
    extra.U16(0x0001).U16(fields.data().size()).Text(fields.data());
  }
  Bytes b;
  b.U32(kCentralHeader).U16(kVersionZip64).U16(m.zip64() ? kVersionZip64 : 20).U16(0).U16(m.method()).U16(0);
  b.U16(0x21).U32(m.crc).U32(big_size ? kNoFit32 : m.stored_size()).U32(big_size ? kNoFit32 : m.size());
  b.U16(m.name().size()).U16(extra.data().size()).U16(0).U16(0).U16(0).U32(0);
  b.U32(big_offset ? kNoFit32 : m.offset).Text(m.name()).Text(extra.data());
  return b.data();
}

bool WriteAt(int fd, const std::string& bytes, uint64_t offset) {
  return pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) == static_cast<ssize_t>(bytes.size());
}

}  // namespace

bool WriteStoredZip64(const std::string& path, const std::vector<LargeZipMember>& sources) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  uint64_t at = 0;
  std::vector<Member> members;
  for (const LargeZipMember& source : sources) {
    Member& m = members.emplace_back(Member{source});
    m.offset = at;
    m.crc = source.zeros > 0 ? CrcOfZeros(source.zeros)
                             : static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(source.content.data()),
                                                           static_cast<uInt>(source.content.size())));
    if (source.zeros == 0) m.stored = source.deflated ? Deflate(source.content) : source.content;
    std::string header = LocalHeader(m);
    ok = ok && WriteAt(fd, header, at);
    at += header.size();
    if (source.zeros == 0) ok = ok && WriteAt(fd, m.stored, at);
    at += m.stored_size();  // a run of zeros is skipped: the file gets a hole there
  }
  uint64_t directory_offset = at;
  std::string directory;
  for (const Member& m : members) directory += CentralHeader(m);
  uint64_t zip64_end_offset = directory_offset + directory.size();
  Bytes end;
  end.U32(kZip64End).U64(44).U16(kVersionZip64).U16(kVersionZip64).U32(0).U32(0);
  end.U64(members.size()).U64(members.size()).U64(directory.size()).U64(directory_offset);
  end.U32(kZip64Locator).U32(0).U64(zip64_end_offset).U32(1);
  end.U32(kEnd).U16(0).U16(0).U16(members.size()).U16(members.size()).U32(directory.size());
  end.U32(directory_offset >= kNoFit32 ? kNoFit32 : directory_offset).U16(0);
  ok = ok && WriteAt(fd, directory + end.data(), directory_offset);
  return ::close(fd) == 0 && ok;
}

}  // namespace devicesim
