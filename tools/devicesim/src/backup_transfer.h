// The raw file streams of the backup service, which travel between device-link messages on the same
// connection.
//
// Device to computer (after DLMessageUploadFiles), per file: u32be length + device path, u32be length + target
// name relative to the backup folder, blocks of u32be (n + 1), code 0x0C and n bytes, then u32be 1 and code 0x00;
// u32be 0 after the last file.
// Computer to device (after DLMessageDownloadFiles), per requested path: u32be length + path, data blocks as
// above ending with code 0x00, or one block with code 0x06 and an error text for a file it does not have; u32be 0
// after the last path.
//
// Functions over a Stream; the stream's thread rules apply.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "stream.h"

namespace devicesim {

inline constexpr unsigned char kBlockEnd = 0x00;
inline constexpr unsigned char kBlockLocalError = 0x06;
inline constexpr unsigned char kBlockRemoteError = 0x0B;
inline constexpr unsigned char kBlockData = 0x0C;
// The longest name the computer accepts in a file stream.
inline constexpr uint32_t kMaxTransferName = 4096;

// The two names that open a file of an upload.
bool SendUploadNames(Stream& stream, const std::string& device_path, const std::string& target_name);
// `size` bytes of `fd` from its current position in data blocks, then the end block. False when the file gives
// fewer bytes or the connection breaks.
bool SendUploadContent(Stream& stream, int fd, uint64_t size);
// The bytes of `content` in data blocks, then the end block.
bool SendUploadBytes(Stream& stream, const std::string& content);
// A block header: u32be (payload size + 1) and the code.
bool SendBlockHeader(Stream& stream, uint32_t payload_size, unsigned char code);
// The u32be 0 after the last file.
bool SendEndOfFiles(Stream& stream);

// Where downloaded files go. Open is called once per file the computer sends, then Append for each piece of data
// and Close (complete = the end block arrived). A false Open or Append drops the file's remaining bytes.
class DownloadSink {
 public:
  virtual ~DownloadSink() = default;
  virtual bool Open(const std::string& name) = 0;
  virtual bool Append(const char* data, size_t size) = 0;
  virtual void Close(bool complete) = 0;
};

// Reads the computer's file stream for one DownloadFiles request up to its closing u32be 0. *missing receives the
// names the computer answered with an error block. False when the stream breaks or does not follow the format
// (a name above kMaxTransferName, a block without its code).
bool ReceiveDownloads(Stream& stream, DownloadSink& sink, std::map<std::string, std::string>* missing);

// Keeps downloaded files in memory, up to `limit` bytes each (a larger file is dropped as incomplete).
class MemoryDownloads : public DownloadSink {
 public:
  explicit MemoryDownloads(size_t limit) : limit_(limit) {}
  bool Open(const std::string& name) override;
  bool Append(const char* data, size_t size) override;
  void Close(bool complete) override;
  // The complete files, by name.
  const std::map<std::string, std::string>& files() const { return files_; }

 private:
  size_t limit_;
  std::string current_name_;
  std::string current_;
  std::map<std::string, std::string> files_;
};

}  // namespace devicesim
