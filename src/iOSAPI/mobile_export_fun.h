// CMobileExportFun: loads the device libraries at run time and holds their entry points.
//
// libusbmuxd (the usbmuxd client) and libimobiledevice are not linked: Init loads them with the dynamic loader
// (paths from CORVANE_USBMUXD_LIBRARY and CORVANE_MOBILEDEVICE_LIBRARY, else their sonames) and resolves every
// entry point the device layer uses into one table, in a fixed order; the first one missing fails Init. A machine
// without the libraries still runs Corvane: the device monitor then reports that it cannot start.
//
// Thread safety: Init is called by one thread at a time (the device monitor's start-up). After it has returned
// true the table never changes and is read from any thread without locking.
#pragma once

#include <memory>
#include <string>

namespace platform {
class DynamicLibrary;
}
struct EntryPoints;

class CMobileExportFun {
 public:
  static constexpr const char* kDefaultUsbmuxdLibrary = "libusbmuxd-2.0.so.6";
  static constexpr const char* kDefaultMobileDeviceLibrary = "libimobiledevice-1.0.so.6";

  // The process-wide instance.
  static CMobileExportFun& GetInstance();

  CMobileExportFun();
  ~CMobileExportFun();
  CMobileExportFun(const CMobileExportFun&) = delete;
  CMobileExportFun& operator=(const CMobileExportFun&) = delete;

  // True when both libraries are loaded and every entry point is resolved; a call after a successful one does
  // nothing. A failed Init may be tried again.
  bool Init();
  bool IsInitialised() const { return initialised_; }

  // The resolved table. REQUIRES: Init() returned true.
  const EntryPoints& entry() const { return *entry_; }

 private:
  std::unique_ptr<EntryPoints> entry_;
  bool initialised_ = false;
  std::unique_ptr<platform::DynamicLibrary> mobile_device_;
  std::unique_ptr<platform::DynamicLibrary> host_;  // libusbmuxd, in the role of the host library
};
