// The synchronisation part of a profile: the "sync" section of device.json (batch size, per-class answers,
// the fault) and the record files beside it, sync/<data class>.json, each a JSON object of record identifier ->
// record (the fields as property-list values in the profile's JSON form, the entity name among them).
//
// Plain data and stateless functions; safe from any thread.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "devicesim/sync_settings.h"
#include "devicesim/value.h"

namespace devicesim {

struct SyncRecord {
  std::string id;
  std::shared_ptr<const Value> fields;  // a dictionary holding the entity name among its fields
};

struct SyncProfile {
  int batch_size = 50;
  std::map<std::string, SyncClassSettings> classes;       // by data class name
  std::map<std::string, std::vector<SyncRecord>> records;  // by data class name, in file order
  SyncFault fault;
};

// Reads the "sync" section of a parsed device.json (absent: defaults).
bool SyncSettingsFromDocument(const Value& document, SyncProfile* sync, std::string* error);
// The "sync" section for device.json, as ProfileBuilder writes it.
Value SyncClassSettingsToDocument(const SyncClassSettings& settings);
Value SyncFaultToDocument(const SyncFault& fault);

// Reads <folder>/sync/<data class>.json for every data class the device knows; a missing file is an empty
// store. A record must be an object naming its entity.
bool LoadSyncRecords(const std::string& folder, SyncProfile* sync, std::string* error);
// Writes one record file in the format LoadSyncRecords reads.
bool WriteSyncRecords(const std::string& path, const std::vector<std::pair<std::string, Value>>& records,
                      std::string* error);

}  // namespace devicesim
