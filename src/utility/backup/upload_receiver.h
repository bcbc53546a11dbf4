// UploadReceiver: the files a device uploads during a backup (after DLMessageUploadFiles), read from the raw
// byte stream between device-link messages and written into the backup folder.
//
// The stream, per file: u32be length + the device's own path, u32be length + the target name (a device path,
// see BackupPathMap), then blocks of u32be L and a code byte: code 12 carries L-1 bytes of data, code 0 (L = 1)
// ends the file, code 11 carries an error text (the device could not read the file). A name length of 0 ends the
// upload; a block length of 0 also ends the file.
//
// Soundness rules, because a device is untrusted and a backup must never claim what it does not hold:
//  - a target that leaves the backup folder, or a name over kMaxDevicePath bytes, fails the upload (nothing is
//    written for it);
//  - a file is created anew (an existing file of that name is unlinked first, so a file shared by hard link with
//    an earlier backup is never changed through this one);
//  - a file the device ends with an error text is removed again; a write or close that fails (a full disk) and a
//    stream that ends early fail the upload and leave no partial file;
//  - data moves through one buffer of kUploadBuffer bytes, whatever the file's size.
//
// The hooks let the work backup write only the files it wants and learn when one is complete.
//
// Thread safety: one receiver per session thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "utility/backup/backup_paths.h"

inline constexpr size_t kUploadBuffer = 1 << 20;

// Reads exactly `length` bytes; false when the stream fails.
using ByteReader = std::function<bool(char* buffer, size_t length)>;

struct UploadHooks {
  // Polled before each file; true stops the upload with kCancelled.
  std::function<bool()> cancelled;
  // Whether the file of this local path is written; its blocks are read and dropped otherwise. Null: all files.
  std::function<bool(const std::string& local_path)> wanted;
  // Told after a file has been completely written and closed. The path is where it was written: a device
  // uploads into "<folder>/Snapshot/..." and moves the files out later in the session, so a listener that keeps
  // the file links or copies it here rather than keeping the path.
  std::function<void(const std::string& device_name, const std::string& local_path)> written;
  // Opens a new file for writing (tests put a failing file here). Null: the file is created anew at the path.
  std::function<std::FILE*(const std::string& local_path)> open;
};

enum class UploadStatus : int {
  kDone = 0,
  kCancelled,     // the task was stopped
  kStreamFailed,  // the stream broke or is out of step
  kRefusedName,   // a target outside the backup folder, or a name too long
  kWriteFailed,   // a file could not be created, written or closed
};

struct UploadOutcome {
  UploadStatus status = UploadStatus::kDone;
  std::string detail;  // the refused name or the system's error text
  uint64_t files = 0;  // files written completely
  uint64_t bytes = 0;  // data bytes received
};

class UploadReceiver {
 public:
  UploadReceiver(const BackupPathMap& paths, UploadHooks hooks);

  // Receives one upload, up to its closing zero length.
  UploadOutcome Receive(const ByteReader& read);

 private:
  bool ReadName(const ByteReader& read, std::string* name, UploadOutcome* outcome);
  bool ReceiveFile(const ByteReader& read, const std::string& device_name, const std::string& local,
                   UploadOutcome* outcome);

  const BackupPathMap& paths_;
  const UploadHooks hooks_;
  std::unique_ptr<char[]> buffer_;
};

const char* UploadStatusName(UploadStatus status);
