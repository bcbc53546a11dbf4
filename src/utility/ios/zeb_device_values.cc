#include "utility/ios/zeb_device_values.h"

#include <cmath>

#include "utility/ios/device_handles.h"
#include "utility/ios/zeb_device.h"

std::optional<PlistValue> CopyValue(const ZEBDeviceConnection& device, const char* key) {
  return AMDeviceCopyValue(DeviceHandles::Device(device), nullptr, key);
}

std::optional<PlistValue> CopyValue(const ZEBDeviceConnection& device, const char* domain, const char* key) {
  return AMDeviceCopyValue(DeviceHandles::Device(device), domain, key);
}

bool ToNumber(const PlistValue& value, int64_t* out) {
  if (value.IsInteger()) {
    *out = value.AsInt64();
    return true;
  }
  if (value.IsReal()) {
    *out = static_cast<int64_t>(std::floor(value.AsReal() + 0.5));
    return true;
  }
  return false;
}

bool GetNumber(const ZEBDeviceConnection& device, const char* key, const char* domain, int64_t* out) {
  std::optional<PlistValue> value = CopyValue(device, domain, key);
  return value && ToNumber(*value, out);
}

int SetValue(const ZEBDeviceConnection& device, const char* domain, const char* key, const PlistValue& value) {
  return AMDeviceSetValue(DeviceHandles::Device(device), domain, key, value);
}

std::optional<PlistValue> CopySessionValue(const ZEBDeviceConnection& device, const char* domain, const char* key) {
  int error = 0;
  ZEBDeviceSessionPtr session = GetSession(DeviceHandles::Device(device), &error);
  if (!session) return std::nullopt;
  return CopyValue(device, domain, key);
}
