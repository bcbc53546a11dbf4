// A thin computer side of the synchronisation service made only of libimobiledevice's mobilesync calls, so the
// fidelity tests and the benchmark drive the simulator exactly as the real client library does.
//
// One client is one connection; use it from one thread.
#pragma once

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/mobilesync.h>

#include <map>
#include <string>
#include <vector>

namespace devicesim {

struct SyncedRecords {
  int batches = 0;
  std::vector<std::string> order;                          // record identifiers as they arrived
  std::map<std::string, plist_t> records;                  // identifier -> fields (owned by this object)
  std::map<std::string, int> per_entity;                   // entity name -> count
  ~SyncedRecords();
  // Files the records of one batch (a dictionary of identifier -> fields).
  void Take(plist_t entities);
  std::string Field(const std::string& id, const char* field) const;  // a string field, "" when absent
  std::string FirstLink(const std::string& id, const char* field) const;  // first identifier of a link array
};

class MobileSyncClient {
 public:
  explicit MobileSyncClient(const std::string& udid);
  ~MobileSyncClient();
  MobileSyncClient(const MobileSyncClient&) = delete;
  MobileSyncClient& operator=(const MobileSyncClient&) = delete;

  mobilesync_error_t start_error() const { return start_error_; }

  // mobilesync_start with a fresh computer anchor; the refusal text lands in *refusal.
  mobilesync_error_t Start(const char* data_class, uint64_t version, mobilesync_sync_type_t* type = nullptr,
                           std::string* refusal = nullptr, uint64_t* device_version = nullptr);
  // Asks for every record and takes every batch, acknowledging each.
  mobilesync_error_t ReadAll(SyncedRecords* out);
  // Waits until the device is ready for the computer's changes (takes its ready message, sends the ping).
  mobilesync_error_t ReadyToSend();
  // Sends one batch of changes (the last) and takes the device's identifier map (may be null).
  mobilesync_error_t SendChanges(plist_t entities, plist_t* mapping);
  mobilesync_error_t Finish();

 private:
  idevice_t device_ = nullptr;
  mobilesync_client_t client_ = nullptr;
  mobilesync_error_t start_error_ = MOBILESYNC_E_UNKNOWN_ERROR;
};

}  // namespace devicesim
