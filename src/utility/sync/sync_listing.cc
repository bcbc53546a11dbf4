#include "utility/sync/sync_listing.h"

#include "utility/ios/zeb_device_values.h"

bool DataSyncHasAccounts(const ZEBDeviceConnection& device, const char* short_name) {
  // The domain is readable only inside a session.
  std::optional<PlistValue> domain = CopySessionValue(device, "com.apple.mobile.data_sync", nullptr);
  if (!domain || !domain->IsDict()) return false;
  const PlistValue* entry = domain->FindDict(short_name);
  if (entry == nullptr) return false;
  for (const auto& [key, value] : entry->dict()) {
    if (value.IsArray() && !value.array().empty()) return true;
  }
  return false;
}

int64_t ListedCount(const ZEBDeviceConnection& device, const SyncDataClass& data_class, size_t count) {
  if (count > 0) return static_cast<int64_t>(count);
  return DataSyncHasAccounts(device, data_class.short_name) ? -1 : 0;
}
