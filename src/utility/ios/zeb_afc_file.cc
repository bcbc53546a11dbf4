#include "utility/ios/zeb_afc_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

std::unique_ptr<ZEBAfcFile> ZEBAfcFile::Open(AFCConnectionRef afc, const std::string& path, Mode mode) {
  int afc_mode = mode == Mode::kRead ? kAFCModeRead : mode == Mode::kWrite ? kAFCModeWrite : kAFCModeReadWrite;
  uint64_t handle = 0;
  if (AFCFileRefOpen(afc, path.c_str(), afc_mode, &handle) != kAMDSuccess) return nullptr;
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
  bool ok = open_ && AFCFileRefWrite(afc_, handle_, data.data(), static_cast<uint32_t>(data.size())) == kAMDSuccess;
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

bool RenamePath(AFCConnectionRef afc, const std::string& from, const std::string& to) {
  return AFCRenamePath(afc, from.c_str(), to.c_str()) == kAMDSuccess;
}
