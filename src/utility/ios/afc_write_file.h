// AfcWriteFile: one device file opened for writing (created or truncated) through the file service, for callers
// that write it piece by piece and need to know how each piece fared: which AFC status a failed write had, and in
// particular whether the device said it is full.
//
// Thread safety: an object belongs to one thread; the AFC connection serialises requests from several objects.
#pragma once

#include <cstdint>
#include <string>

#include "iOSAPI/mobile_device.h"

class AfcWriteFile {
 public:
  // Opens `path` for writing; open_status() says how that went.
  AfcWriteFile(AFCConnectionRef afc, const std::string& path);
  ~AfcWriteFile();
  AfcWriteFile(const AfcWriteFile&) = delete;
  AfcWriteFile& operator=(const AfcWriteFile&) = delete;

  bool is_open() const { return open_; }
  // 0 when the file is open, else the device's status.
  int32_t open_status() const { return open_status_; }
  // Writes all `length` bytes: 0, or the device's status for the first write that failed.
  int32_t Write(const void* data, uint32_t length);
  // Closes the file (also done by the destructor): 0 or the device's status.
  int32_t Close();

 private:
  AFCConnectionRef afc_;
  uint64_t file_ = 0;
  bool open_ = false;
  int32_t open_status_ = 0;
};

// True for the status a device answers when its storage is full.
bool IsDeviceFullStatus(int32_t status);
