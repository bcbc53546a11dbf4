#include "utility/ios/zeb_device_values.h"

#include <cmath>

#include "utility/ios/zeb_device.h"

std::optional<PlistValue> CopyValue(AMDeviceRef device, const char* key) {
  return AMDeviceCopyValue(device, nullptr, key);
}

std::optional<PlistValue> CopyValue(AMDeviceRef device, const char* domain, const char* key) {
  return AMDeviceCopyValue(device, domain, key);
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

bool GetNumber(AMDeviceRef device, const char* key, const char* domain, int64_t* out) {
  std::optional<PlistValue> value = CopyValue(device, domain, key);
  return value && ToNumber(*value, out);
}

int SetValue(AMDeviceRef device, const char* domain, const char* key, const PlistValue& value) {
  return AMDeviceSetValue(device, domain, key, value);
}

std::optional<PlistValue> CopyValue(const ZEBDeviceConnection& device, const char* key) {
  return CopyValue(device.device, key);
}

std::optional<PlistValue> CopyValue(const ZEBDeviceConnection& device, const char* domain, const char* key) {
  return CopyValue(device.device, domain, key);
}

bool GetNumber(const ZEBDeviceConnection& device, const char* key, const char* domain, int64_t* out) {
  return GetNumber(device.device, key, domain, out);
}

int SetValue(const ZEBDeviceConnection& device, const char* domain, const char* key, const PlistValue& value) {
  return SetValue(device.device, domain, key, value);
}

std::optional<PlistValue> CopySessionValue(const ZEBDeviceConnection& device, const char* domain, const char* key) {
  int error = 0;
  ZEBDeviceSessionPtr session = GetSession(device.device, &error);
  if (!session) return std::nullopt;
  return CopyValue(device.device, domain, key);
}
