#include "utility/ios/zeb_device_values.h"

#include <cmath>

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
