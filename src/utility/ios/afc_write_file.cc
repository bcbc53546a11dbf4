#include "utility/ios/afc_write_file.h"

namespace {
// The file service's own status for "no space left on the device".
constexpr int32_t kAfcNoSpaceLeft = 18;
}  // namespace

AfcWriteFile::AfcWriteFile(AFCConnectionRef afc, const std::string& path) : afc_(afc) {
  open_status_ = AFCFileRefOpen(afc_, path.c_str(), kAFCModeWrite, &file_);
  open_ = open_status_ == kAMDSuccess;
}

AfcWriteFile::~AfcWriteFile() { Close(); }

int32_t AfcWriteFile::Write(const void* data, uint32_t length) {
  if (!open_) return open_status_ != kAMDSuccess ? open_status_ : kAMDInvalidArgument;
  return AFCFileRefWrite(afc_, file_, data, length);
}

int32_t AfcWriteFile::Close() {
  if (!open_) return kAMDSuccess;
  open_ = false;
  return AFCFileRefClose(afc_, file_);
}

bool IsDeviceFullStatus(int32_t status) { return status == kAfcNoSpaceLeft; }
