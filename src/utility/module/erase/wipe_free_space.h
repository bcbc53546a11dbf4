// Wiping a device's free space: the data partition is filled with files of zeros in a folder of its own, which
// is then removed, so that content deleted earlier cannot be read back.
//
// Each pass writes files of (pass × 512 MiB) in 8 MiB writes of one zero block into "/iostemp" until the device's
// free-space figure (read when the device arrived) has been written, then empties the folder. At most two passes
// run, however high the level; progress is base + ceil(percentage / level), base 0 for the first pass and 50 for
// the second, sent only when the pass's percentage grows. The host may stop the wipe between files and between
// writes. "/iostemp" is removed at the end of every wipe, a stopped or failed one included.
//
// Only bytes the device accepted count as written. A pass ends normally when they reach the free-space figure, or
// when the device answers that it is full after at least nine tenths of the figure were written (the figure is
// from the device's arrival; a little may have been used since). The outcome codes:
//   0  every pass that ran filled the free space;
//   2  no pass ran (level 0 or less), or the device was full after far less than its free-space figure;
//   6  "Task cancelled.": the host stopped the task (before the first file too);
//   17 a wipe file could not be created, or a write failed for any reason other than a full device;
//   47 "mkdir /iostemp fail.": the folder could not be created.
//
// Thread safety: one wipe per call; the target belongs to the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

inline constexpr uint32_t kWipeBlockBytes = 8 * 1024 * 1024;
inline constexpr const char* kWipeFolder = "/iostemp";

// The device side of a wipe; the module's implementation works on the device's file service.
class WipeTarget {
 public:
  virtual ~WipeTarget() = default;
  virtual bool MakeFolder(const std::string& path) = 0;
  // Opens a new file for writing: 0 or the device's status.
  virtual int32_t OpenFile(const std::string& path) = 0;
  // Writes to the open file: 0 or the device's status.
  virtual int32_t Write(const char* data, uint32_t length) = 0;
  virtual void CloseFile() = 0;
  // Empties the folder, and removes it too when `remove_folder`.
  virtual void EmptyFolder(const std::string& path, bool remove_folder) = 0;
  virtual bool IsDeviceFull(int32_t status) const = 0;
};

struct WipeHooks {
  std::function<bool()> aborted;               // true once the host stopped the task
  std::function<void(int percent)> progress;   // a progress value for the host
  std::function<std::string()> local_time;     // "%Y%m%d%H%M%S" now, for the file names
};

struct WipeOutcome {
  int code = 0;
  std::string message;
  int64_t bytes_written = 0;  // over all passes
};

WipeOutcome WipeFreeSpace(WipeTarget& target, int64_t free_bytes, int64_t level, const WipeHooks& hooks);
