// ZEBAfcFile: one open file of the device's file service, closed when the object goes.
//
// Modules read and write device files through it rather than through the file service's entry points; each call
// is one request of the service (a read may return fewer bytes than asked), except a seek to where the file
// already is: the position is followed through reads, writes and seeks, so writing block after block in order
// costs no seek between them. Renames and the other path operations are in
// zeb_afc.h.
//
// Thread safety: a file belongs to one user at a time; the connection under it serialises requests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "iOSAPI/mobile_device.h"
#include "utility/ios/zeb_device_service.h"

class ZEBAfcFile {
 public:
  enum class Mode { kRead, kWrite /* created or truncated */, kReadWrite };

  // Null when the device refuses to open the file; *status (if given) is then the device's status. `afc` is a file
  // service started with its AFC connection, kept by the caller while the file is open.
  static std::unique_ptr<ZEBAfcFile> Open(const ZEBDeviceService& afc, const std::string& path, Mode mode,
                                          int32_t* status = nullptr);
  ~ZEBAfcFile();
  ZEBAfcFile(const ZEBAfcFile&) = delete;
  ZEBAfcFile& operator=(const ZEBAfcFile&) = delete;

  // Reads up to *length bytes; *length is what arrived. False when the device fails.
  bool Read(char* buffer, uint32_t* length);
  // Reads exactly `length` bytes, in as many requests as it takes; false at a failure or the end of the file.
  bool ReadFully(char* buffer, size_t length);
  bool Write(std::string_view data);
  bool Seek(int64_t offset);
  bool SetSize(uint64_t size);
  // Closes now, reporting whether the device confirmed it; the destructor closes quietly otherwise.
  bool Close();
  // The device's status for the last request that failed (0 while none has), to tell a full device apart.
  int32_t last_status() const { return last_status_; }

 private:
  ZEBAfcFile(AFCConnectionRef afc, uint64_t handle) : afc_(afc), handle_(handle) {}

  const AFCConnectionRef afc_;
  const uint64_t handle_;
  bool open_ = true;
  int32_t last_status_ = 0;
  int64_t position_ = 0;  // where the next read or write goes; -1 once a failed request leaves it unknown
};

// True for the status a device answers when its storage is full.
bool IsDeviceFullStatus(int32_t status);
