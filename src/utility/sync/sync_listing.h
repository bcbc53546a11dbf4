// How a read session's list is announced to the host: the count report's N is the number of records, except
// that an empty list on a device whose data-sync settings name accounts for the class counts -1 ("not known
// here" rather than "none": the data lives in an account the computer does not sync).
//
// Thread safety: any thread (the device's lockdown client serialises the requests).
#pragma once

#include <cstddef>
#include <cstdint>

#include "utility/ios/zeb_device_connection.h"
#include "utility/sync/sync_session.h"

// True when the device's "com.apple.mobile.data_sync" domain has an entry named exactly `short_name` whose
// dictionary holds at least one non-empty array.
bool DataSyncHasAccounts(const ZEBDeviceConnection& device, const char* short_name);

// `count`, or -1 when it is 0 and the class has accounts on the device.
int64_t ListedCount(const ZEBDeviceConnection& device, const SyncDataClass& data_class, size_t count);
