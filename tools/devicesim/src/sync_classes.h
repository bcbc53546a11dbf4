// The data classes the device's synchronisation service knows: their names, the short names the lockdown
// domains com.apple.mobile.data_sync and com.apple.mobile.tethered_sync use, the entities of each class in the
// order the device sends them (owners before the records that point at them), the fields that point at other
// records, and the data-class version the device announces by default.
//
// Constant tables; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devicesim {

inline constexpr char kEntityNameKey[] = "com.apple.syncservices.RecordEntityName";
inline constexpr char kEmptyParameter[] = "___EmptyParameterString___";

struct SyncClassInfo {
  const char* name;        // "com.apple.Contacts"
  const char* short_name;  // "Contacts"
  uint64_t version;        // announced in SDMessageSyncDataClassWithComputer
  std::vector<std::string> entities;
};

// Null when the device knows no such class.
const SyncClassInfo* FindSyncClass(const std::string& name);
const std::vector<SyncClassInfo>& SyncClasses();

// The position of `entity` in its class's sending order; unknown entities sort last.
size_t EntityRank(const SyncClassInfo& info, const std::string& entity);

// Fields holding an array of record identifiers. A record whose owner field ("contact", "calendar", "owner",
// "parent") loses its last identifier goes with its owner; "members" of a group only shrink.
bool IsOwnerField(const std::string& field);
bool IsLinkField(const std::string& field);

}  // namespace devicesim
