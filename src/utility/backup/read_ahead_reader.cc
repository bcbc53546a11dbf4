#include "utility/backup/read_ahead_reader.h"

#include <algorithm>
#include <cstring>

ReadAheadReader::ReadAheadReader(ReceiveSome some, ByteReader exact)
    : some_(std::move(some)), exact_(std::move(exact)), buffer_(new char[kBufferSize]) {}

bool ReadAheadReader::Read(char* out, size_t length) {
  while (length > 0) {
    size_t take = std::min(length, end_ - at_);
    std::memcpy(out, buffer_.get() + at_, take);
    at_ += take;
    out += take;
    length -= take;
    if (length == 0) break;
    // Large reads skip the buffer: one copy less, and never more bytes than asked for.
    if (length >= kBufferSize) return exact_(out, length);
    size_t got = some_(buffer_.get(), kBufferSize);
    if (got == 0) return false;
    at_ = 0;
    end_ = got;
  }
  return true;
}
