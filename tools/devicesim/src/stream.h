// A blocking byte stream over one connected client socket, with the output faults the simulator can inject
// (a byte budget after which the connection is cut) and a wait that ends when the client goes away.
//
// One Stream belongs to the thread serving its connection. Writes may also come from another thread (the
// notification proxy relays events) as long as the caller serialises them; reads stay on the owning thread.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace devicesim {

class Stream {
 public:
  // `stopping` is the simulator's stop flag; the stream does not own `fd`.
  Stream(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
  ~Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  int fd() const { return fd_; }

  // Reads exactly `size` bytes; false on end of stream, error or a cut connection.
  bool ReadExact(void* data, size_t size);

  bool Write(const void* data, size_t size) { return WriteParts(data, size, nullptr, 0); }
  // Writes two buffers with as few system calls as possible (a header and its payload), so a client that reads
  // a header with one recv finds it whole.
  bool WriteParts(const void* first, size_t first_size, const void* second, size_t second_size);

  // Sends `size` bytes of `file_fd` from its current position, without copying them through user space when
  // no output fault is armed. False on an error, a file shorter than promised or a cut.
  bool SendFile(int file_fd, size_t size);
  // Receives `size` bytes straight into `file_fd` at its current position (spliced through a pipe when the file
  // allows it). False when the connection ends first or the file refuses the bytes; *file_error tells which.
  bool ReceiveToFile(int file_fd, size_t size, bool* file_error);

  // Reads and drops `size` bytes.
  bool Skip(size_t size);

  // Cuts the connection once `bytes` more bytes have been written.
  void LimitOutput(uint64_t bytes) { budget_ = bytes; }

  // Reads and discards input until the client closes or the simulator stops; used by stalled connections.
  void DrainUntilClosed();

 private:
  bool SendAll(const void* first, size_t first_size, const void* second, size_t second_size);

  bool CopyFileThroughBuffer(int file_fd, size_t size);
  bool MakePipe();
  bool ReceiveThroughBuffer(int file_fd, size_t size, bool* file_error);

  const int fd_;
  const std::atomic<bool>& stopping_;
  int pipe_[2] = {-1, -1};  // made on the first splice
  uint64_t budget_ = std::numeric_limits<uint64_t>::max();
  bool cut_ = false;
};

}  // namespace devicesim
