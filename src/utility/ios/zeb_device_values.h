// Readers (and the one writer) of a device's lockdown values.
//
// Thread safety: any thread (the device's lockdown client serialises the requests).
#pragma once

#include <cstdint>
#include <optional>

#include "iOSAPI/plist_value.h"
#include "utility/ios/zeb_device_connection.h"

std::optional<PlistValue> CopyValue(const ZEBDeviceConnection& device, const char* key);
std::optional<PlistValue> CopyValue(const ZEBDeviceConnection& device, const char* domain, const char* key);
// A value that the device gives only inside a session: read through the device's session, opened here when no one
// holds one. Nothing when no session can be had or the device gives no value.
std::optional<PlistValue> CopySessionValue(const ZEBDeviceConnection& device, const char* domain, const char* key);

// The value as a 64-bit integer: integers as they are, reals rounded to the nearest integer; false for anything
// else or when there is no value.
bool GetNumber(const ZEBDeviceConnection& device, const char* key, const char* domain, int64_t* out);
// The same conversion of a value already read.
bool ToNumber(const PlistValue& value, int64_t* out);

// Sets a lockdown value (domain null for the top level): the device's status, 0 when it took the value.
int SetValue(const ZEBDeviceConnection& device, const char* domain, const char* key, const PlistValue& value);
