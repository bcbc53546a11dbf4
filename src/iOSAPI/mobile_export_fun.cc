#include "iOSAPI/mobile_export_fun.h"

#include <glog/logging.h>

#include "iOSAPI/entry_points_internal.h"
#include "platform/dynamic_library.h"
#include "platform/platform.h"

namespace {

std::string LibraryPath(const char* variable, const char* fallback) {
  std::string path = platform::GetEnvironment(variable);
  return path.empty() ? fallback : path;
}

// Resolves one slot; the first name that does not resolve fails the whole table.
template <class Slot>
bool Resolve(const platform::DynamicLibrary& library, const char* name, Slot* slot) {
  *slot = reinterpret_cast<Slot>(library.Symbol(name));
  if (*slot == nullptr) LOG(ERROR) << "Entry point not found: " << name;
  return *slot != nullptr;
}

}  // namespace

CMobileExportFun& CMobileExportFun::GetInstance() {
  static CMobileExportFun* instance = new CMobileExportFun();  // device threads use it until the process ends
  return *instance;
}

CMobileExportFun::CMobileExportFun() : entry_(std::make_unique<EntryPoints>()) {}

CMobileExportFun::~CMobileExportFun() {
  mobile_device_.reset();
  host_.reset();
}

bool CMobileExportFun::Init() {
  if (initialised_) return true;

  std::string host_path = LibraryPath("CORVANE_USBMUXD_LIBRARY", kDefaultUsbmuxdLibrary);
  LOG(INFO) << "strPathHost: " << host_path;
  if (!host_) {
    std::string error;
    host_ = platform::DynamicLibrary::Open(host_path, &error);
    if (!host_) {
      LOG(ERROR) << "Host Error Code: " << error;
      return false;
    }
  }

  std::string mobile_device_path = LibraryPath("CORVANE_MOBILEDEVICE_LIBRARY", kDefaultMobileDeviceLibrary);
  LOG(INFO) << "strPathiTunes: " << mobile_device_path;
  if (!mobile_device_) {
    std::string error;
    mobile_device_ = platform::DynamicLibrary::Open(mobile_device_path, &error);
    if (!mobile_device_) return false;
  }

  EntryPoints table;
#define CORVANE_RESOLVE_FROM(library, name) \
  if (!Resolve(*library, #name, &table.name)) return false;
#define CORVANE_RESOLVE_HOST(name) CORVANE_RESOLVE_FROM(host_, name)
#define CORVANE_RESOLVE_MOBILE_DEVICE(name) CORVANE_RESOLVE_FROM(mobile_device_, name)
  CORVANE_USBMUXD_ENTRY_POINTS(CORVANE_RESOLVE_HOST)
  CORVANE_MOBILEDEVICE_ENTRY_POINTS(CORVANE_RESOLVE_MOBILE_DEVICE)
#undef CORVANE_RESOLVE_MOBILE_DEVICE
#undef CORVANE_RESOLVE_HOST
#undef CORVANE_RESOLVE_FROM
  *entry_ = table;
  initialised_ = true;
  return true;
}
