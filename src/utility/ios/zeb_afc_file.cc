#include "utility/ios/zeb_afc_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "utility/ios/device_handles.h"

namespace {
// The file service's own status for "no space left on the device".
constexpr int32_t kAfcNoSpaceLeft = 18;
}  // namespace

bool IsDeviceFullStatus(int32_t status) { return status == kAfcNoSpaceLeft; }

std::unique_ptr<ZEBAfcFile> ZEBAfcFile::Open(const ZEBDeviceService& service, const std::string& path, Mode mode,
                                             int32_t* status) {
  AFCConnectionRef afc = DeviceHandles::Afc(service);
  int afc_mode = mode == Mode::kRead ? kAFCModeRead : mode == Mode::kWrite ? kAFCModeWrite : kAFCModeReadWrite;
  uint64_t handle = 0;
  int32_t opened = AFCFileRefOpen(afc, path.c_str(), afc_mode, &handle);
  if (status != nullptr) *status = opened;
  if (opened != kAMDSuccess) return nullptr;
  return std::unique_ptr<ZEBAfcFile>(new ZEBAfcFile(afc, handle));
}

ZEBAfcFile::~ZEBAfcFile() { Close(); }

bool ZEBAfcFile::Read(char* buffer, uint32_t* length) {
  bool ok = open_ && AFCFileRefRead(afc_, handle_, buffer, length) == kAMDSuccess;
  position_ = ok && position_ >= 0 ? position_ + *length : -1;
  return ok;
}

bool ZEBAfcFile::ReadFully(char* buffer, size_t length) {
  size_t have = 0;
  while (have < length) {
    uint32_t asked = static_cast<uint32_t>(std::min<size_t>(length - have, UINT32_MAX));
    if (!Read(buffer + have, &asked) || asked == 0) return false;
    have += asked;
  }
  return true;
}

bool ZEBAfcFile::Write(std::string_view data) {
  if (!open_) return false;
  int32_t status = AFCFileRefWrite(afc_, handle_, data.data(), static_cast<uint32_t>(data.size()));
  if (status != kAMDSuccess) last_status_ = status;
  bool ok = status == kAMDSuccess;
  position_ = ok && position_ >= 0 ? position_ + static_cast<int64_t>(data.size()) : -1;
  return ok;
}

bool ZEBAfcFile::Seek(int64_t offset) {
  if (!open_) return false;
  if (offset == position_) return true;
  bool ok = AFCFileRefSeek(afc_, handle_, offset, SEEK_SET) == kAMDSuccess;
  position_ = ok ? offset : -1;
  return ok;
}

bool ZEBAfcFile::SetSize(uint64_t size) {
  return open_ && AFCFileRefSetFileSize(afc_, handle_, size) == kAMDSuccess;
}

bool ZEBAfcFile::Close() {
  if (!open_) return true;
  open_ = false;
  return AFCFileRefClose(afc_, handle_) == kAMDSuccess;
}
