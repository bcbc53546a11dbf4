// Services the basic information module starts itself, outside the shared registry, for one short exchange.
#include <glog/logging.h>

#include "utility/module/basicinfo/basicinfo_internal.h"

namespace basicinfo {

std::unique_ptr<DirectService> DirectService::Start(AMDeviceRef device, const char* name) {
  int error = 0;
  ZEBDeviceSessionPtr session = GetSession(device, &error);
  AMDServiceConnectionRef connection = nullptr;
  if (session && AMDeviceSecureStartService(device, name, false, &connection) == kAMDSuccess) {
    return std::unique_ptr<DirectService>(new DirectService(std::move(session), connection));
  }
  // The session may have gone stale (the device slept, or another user stopped it): one more try on a new one.
  session = OpenSession(device, &error);
  connection = nullptr;
  if (session && AMDeviceSecureStartService(device, name, false, &connection) == kAMDSuccess) {
    return std::unique_ptr<DirectService>(new DirectService(std::move(session), connection));
  }
  LOG(INFO) << "Could not start " << name << " (session error " << error << ")";
  return nullptr;
}

DirectService::~DirectService() { AMDServiceConnectionInvalidate(connection_); }

}  // namespace basicinfo
