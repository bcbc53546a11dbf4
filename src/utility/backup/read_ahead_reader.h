// ReadAheadReader: exact reads of a file stream served from one receive where the stream allows it.
//
// An uploaded file is framed by five small fields (two name lengths, two names, block headers) around its data;
// read one by one each costs a receive of its own, which for thousands of small files is most of the work. The
// reader asks the stream for whatever has arrived (up to its buffer) and serves the small fields from that; large
// reads go straight to the caller's memory. It may only be used where the peer sends nothing beyond the stream
// until it is answered (the device waits for the status reply after an upload): bytes still buffered at the end
// mean the stream is out of step.
//
// Thread safety: one reader per session thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "utility/backup/upload_receiver.h"

class ReadAheadReader {
 public:
  static constexpr size_t kBufferSize = 64 * 1024;
  // At least one and at most `capacity` bytes; 0 when the stream failed.
  using ReceiveSome = std::function<size_t(char* buffer, size_t capacity)>;

  ReadAheadReader(ReceiveSome some, ByteReader exact);

  bool Read(char* out, size_t length);
  // Bytes received but not yet read.
  size_t buffered() const { return end_ - at_; }

 private:
  ReceiveSome some_;
  ByteReader exact_;
  std::unique_ptr<char[]> buffer_;
  size_t at_ = 0;
  size_t end_ = 0;
};
