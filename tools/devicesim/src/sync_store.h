// A device's personal data as its synchronisation service keeps it at run time: the records of each data class
// (loaded from the profile, changed by computers for the rest of the run), the device anchor each class last
// gave and had confirmed, and the armed sync fault.
//
// Records are immutable once stored (shared, so a session's snapshot costs no copies); a change replaces them.
// Thread safety: every method locks the store's mutex; any number of connections may use one store.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "sync_profile.h"

namespace devicesim {

struct SyncStart {
  std::string sync_type;      // "SDSyncTypeSlow", "SDSyncTypeFast" or "SDSyncTypeReset"
  std::string device_anchor;  // the new anchor, confirmed when the session finishes
  uint64_t changes_since = 0;  // get-changes sends records changed after this point (0: all)
};

class SyncStore {
 public:
  explicit SyncStore(const SyncProfile& profile);

  int batch_size() const { return batch_size_; }
  SyncClassSettings Settings(const std::string& data_class) const;

  // Opens a session of a known class: fast when `computer_device_anchor` is the anchor the class last had
  // confirmed (unless the profile forces a type).
  SyncStart Begin(const std::string& data_class, const std::string& computer_device_anchor);
  // Confirms the session's anchor: the next session that brings it gets a fast sync with changes after now.
  void Finish(const std::string& data_class, const std::string& device_anchor);

  // Records changed after `since` (0: all), owners first (in the class's entity order), then in store order.
  // *version (when given) identifies this state of the class's records.
  std::vector<SyncRecord> Records(const std::string& data_class, uint64_t since, uint64_t* version = nullptr) const;

  // The encoded batches of all records of a class, kept while its records stay at `version`, so repeated
  // reads of an unchanged store cost the device nothing. Null when none are kept for the current records.
  using EncodedBatches = std::shared_ptr<const std::vector<std::string>>;
  EncodedBatches KeptBatches(const std::string& data_class) const;
  void KeepBatches(const std::string& data_class, uint64_t version, EncodedBatches batches);

  // Applies the computer's record dictionary: a dictionary value adds a record (new identifier) or replaces
  // the one of that identifier; any other value (the empty-parameter string) deletes it, with the records it
  // owns. Link fields naming an identifier the computer used for a new record of this session are rewritten
  // to the device's identifier. Returns the identifiers assigned by this call (computer's -> device's);
  // records of entities the class does not have are counted in *rejected and left out.
  std::map<std::string, std::string> Apply(const std::string& data_class, plist_t changes,
                                           std::map<std::string, std::string>* session_ids, size_t* rejected);
  void Clear(const std::string& data_class);
  size_t Count(const std::string& data_class) const;

  // Takes one use of the armed fault; false when none is armed.
  bool TakeFault(SyncFault* fault);

 private:
  struct Stored {
    std::shared_ptr<const Value> fields;
    size_t rank = 0;
    uint64_t order = 0;
    uint64_t changed = 0;
  };
  struct ClassState {
    std::unordered_map<std::string, Stored> records;
    uint64_t next_order = 0;
    uint64_t clock = 0;  // advances with every change
    uint64_t next_id = 1;
    uint64_t anchors_given = 0;
    std::string confirmed_anchor;
    uint64_t confirmed_at = 0;
    uint64_t kept_version = 0;
    EncodedBatches kept;
  };

  ClassState& State(const std::string& data_class);  // mutex_ held
  void Put(const std::string& data_class, ClassState& state, const std::string& id, Value fields);  // mutex_ held
  void DeleteWithDependents(ClassState& state, std::vector<std::string> ids);  // mutex_ held

  const int batch_size_;
  const std::map<std::string, SyncClassSettings> settings_;
  mutable std::mutex mutex_;
  std::map<std::string, ClassState> classes_;  // guarded by mutex_
  SyncFault fault_;                            // guarded by mutex_
};

}  // namespace devicesim
