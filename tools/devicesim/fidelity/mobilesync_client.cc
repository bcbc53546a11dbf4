#include "mobilesync_client.h"

#include <cstdlib>

namespace devicesim {
namespace {

std::string StringOf(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_STRING) return "";
  char* text = nullptr;
  plist_get_string_val(node, &text);
  std::string out = text ? text : "";
  std::free(text);
  return out;
}

}  // namespace

SyncedRecords::~SyncedRecords() {
  for (auto& [id, fields] : records) plist_free(fields);
}

std::string SyncedRecords::Field(const std::string& id, const char* field) const {
  auto it = records.find(id);
  return it == records.end() ? "" : StringOf(plist_dict_get_item(it->second, field));
}

std::string SyncedRecords::FirstLink(const std::string& id, const char* field) const {
  auto it = records.find(id);
  if (it == records.end()) return "";
  plist_t links = plist_dict_get_item(it->second, field);
  if (!links || plist_get_node_type(links) != PLIST_ARRAY || plist_array_get_size(links) == 0) return "";
  return StringOf(plist_array_get_item(links, 0));
}

void SyncedRecords::Take(plist_t entities) {
  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(entities, &iter);
  while (iter) {
    char* key = nullptr;
    plist_t fields = nullptr;
    plist_dict_next_item(entities, iter, &key, &fields);
    if (!key) break;
    order.push_back(key);
    ++per_entity[StringOf(plist_dict_get_item(fields, "com.apple.syncservices.RecordEntityName"))];
    plist_t& slot = records[key];
    if (slot) plist_free(slot);
    slot = plist_copy(fields);
    std::free(key);
  }
  std::free(iter);
}

MobileSyncClient::MobileSyncClient(const std::string& udid) {
  if (idevice_new(&device_, udid.c_str()) != IDEVICE_E_SUCCESS) {
    device_ = nullptr;
    start_error_ = MOBILESYNC_E_MUX_ERROR;
    return;
  }
  start_error_ = mobilesync_client_start_service(device_, &client_, "devicesim-fidelity");
  if (start_error_ != MOBILESYNC_E_SUCCESS) client_ = nullptr;
}

MobileSyncClient::~MobileSyncClient() {
  if (client_) mobilesync_client_free(client_);
  if (device_) idevice_free(device_);
}

mobilesync_error_t MobileSyncClient::Start(const char* data_class, uint64_t version, mobilesync_sync_type_t* type,
                                           std::string* refusal, uint64_t* device_version) {
  if (!client_) return start_error_;
  mobilesync_anchors_t anchors = mobilesync_anchors_new(nullptr, "2024-03-03 14:05:09 +0100");
  mobilesync_sync_type_t ignored_type;
  uint64_t ignored_version = 0;
  char* description = nullptr;
  mobilesync_error_t error = mobilesync_start(client_, data_class, anchors, version, type ? type : &ignored_type,
                                              device_version ? device_version : &ignored_version, &description);
  mobilesync_anchors_free(anchors);
  if (refusal) *refusal = description ? description : "";
  std::free(description);
  return error;
}

mobilesync_error_t MobileSyncClient::ReadAll(SyncedRecords* out) {
  mobilesync_error_t error = mobilesync_get_all_records_from_device(client_);
  uint8_t last = 0;
  while (error == MOBILESYNC_E_SUCCESS && !last) {
    plist_t entities = nullptr;
    error = mobilesync_receive_changes(client_, &entities, &last, nullptr);
    if (error != MOBILESYNC_E_SUCCESS) break;
    ++out->batches;
    out->Take(entities);
    plist_free(entities);
    error = mobilesync_acknowledge_changes_from_device(client_);
  }
  return error;
}

mobilesync_error_t MobileSyncClient::ReadyToSend() { return mobilesync_ready_to_send_changes_from_computer(client_); }

mobilesync_error_t MobileSyncClient::SendChanges(plist_t entities, plist_t* mapping) {
  mobilesync_error_t error = mobilesync_send_changes(client_, entities, 1, nullptr);
  if (error != MOBILESYNC_E_SUCCESS) return error;
  return mobilesync_remap_identifiers(client_, mapping);
}

mobilesync_error_t MobileSyncClient::Finish() { return mobilesync_finish(client_); }

}  // namespace devicesim
