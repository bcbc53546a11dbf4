#include "iOSAPI/mobile_export_fun.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) { setenv(name, value.c_str(), 1); }
  ~ScopedEnv() { unsetenv(name_); }

 private:
  const char* name_;
};

std::string StandIn(const char* name) { return std::string(CORVANE_LIB_DIR) + "/" + name; }

TEST(CMobileExportFun, ResolvesEveryEntryPointAndASecondInitDoesNothing) {
  ScopedEnv host("CORVANE_USBMUXD_LIBRARY", StandIn("libstand_in_usbmuxd.so"));
  ScopedEnv device("CORVANE_MOBILEDEVICE_LIBRARY", StandIn("libstand_in_mobiledevice.so"));
  CMobileExportFun table;
  EXPECT_FALSE(table.IsInitialised());
  ASSERT_TRUE(table.Init());
  EXPECT_TRUE(table.IsInitialised());
  // The second call does not even look at the libraries again.
  ScopedEnv gone("CORVANE_MOBILEDEVICE_LIBRARY", "/nonexistent/libimobiledevice.so");
  EXPECT_TRUE(table.Init());
}

TEST(CMobileExportFun, OneMissingEntryPointFailsInitAndItCanBeTriedAgain) {
  ScopedEnv host("CORVANE_USBMUXD_LIBRARY", StandIn("libstand_in_usbmuxd.so"));
  CMobileExportFun table;
  {
    ScopedEnv device("CORVANE_MOBILEDEVICE_LIBRARY", StandIn("libstand_in_mobiledevice_lacking_lock.so"));
    EXPECT_FALSE(table.Init());
    EXPECT_FALSE(table.IsInitialised());
  }
  {
    ScopedEnv missing("CORVANE_MOBILEDEVICE_LIBRARY", "/nonexistent/libimobiledevice.so");
    CMobileExportFun fresh;
    EXPECT_FALSE(fresh.Init());
  }
}

TEST(CMobileExportFun, AMissingHostLibraryFailsInit) {
  ScopedEnv host("CORVANE_USBMUXD_LIBRARY", "/nonexistent/libusbmuxd.so");
  CMobileExportFun table;
  EXPECT_FALSE(table.Init());
}

TEST(CMobileExportFun, TheRealLibrariesOfThisMachineLoad) {
  CMobileExportFun table;
  EXPECT_TRUE(table.Init());
}

}  // namespace
