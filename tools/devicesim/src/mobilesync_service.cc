// The synchronisation service ("com.apple.mobilesync"): a device-link connection on which a computer syncs one
// data class at a time. The device offers version 300.100, announces itself ready, answers a sync request with
// the sync type and a new anchor (or a refusal), sends its records in batches that the computer acknowledges
// one by one, then takes the computer's changes and tells it which identifiers it gave new records.
// Anything out of turn cancels the session (SDMessageCancelSession), and a message that is not a device-link
// array ends the link (DLMessageDisconnect); the device never goes silent on a message it cannot use.
#include <algorithm>

#include "builtin_services.h"
#include "device_link.h"
#include "hub.h"
#include "sync_classes.h"
#include "sync_store.h"

namespace devicesim {
namespace {

constexpr uint64_t kLinkMajor = 300;
constexpr uint64_t kLinkMinor = 100;

// One data class being synced on the connection.
struct SyncSession {
  std::string data_class;
  std::string device_anchor;
  uint64_t changes_since = 0;
  SyncStore::EncodedBatches outgoing;  // the batches of the records the computer asked for
  size_t next = 0;                     // the next batch to send
  bool awaiting_ack = false;           // a batch went out and was not acknowledged yet
  std::map<std::string, std::string> new_ids;  // the computer's identifiers -> the device's, for this session
};

class MobileSyncService : public Service {
 public:
  void Serve(ServiceContext& context) override {
    Device& device = *context.device;
    DeviceLink link(context.stream);
    SyncFault fault;
    if (device.sync.TakeFault(&fault)) {
      link.CutAfter(fault.after_messages, fault.stall ? LinkCut::kStall : LinkCut::kDrop);
    }
    if (!link.ExchangeVersions(kLinkMajor, kLinkMinor)) return;
    std::optional<SyncSession> session;
    while (!context.hub.stopping.load()) {
      PlistPtr message;
      std::string name;
      LinkRead read = link.Receive(&message, &name);
      if (read == LinkRead::kClosed) return;
      if (read == LinkRead::kMalformed) {
        context.Log("Malformed");
        link.SendDisconnect("The message is not a device-link message");
        return;
      }
      std::string data_class = LinkString(message.get(), 1);
      context.Log(name, data_class.empty() || name == "DLMessagePing"
                            ? std::map<std::string, std::string>{}
                            : std::map<std::string, std::string>{{"DataClass", data_class}});
      if (name == "DLMessagePing") continue;
      if (name == "DLMessageDisconnect") return;
      if (!Handle(context, link, name, message.get(), session)) return;
    }
  }

 private:
  // False ends the connection.
  bool Handle(ServiceContext& context, DeviceLink& link, const std::string& name, plist_t message,
              std::optional<SyncSession>& session) {
    SyncStore& store = context.device->sync;
    if (name == "SDMessageSyncDataClassWithDevice") {
      if (session) return Cancel(link, session, "A sync session is already open");
      return StartSession(context, link, message, session);
    }
    if (!session) {
      link.SendDisconnect("Unexpected message " + name + " outside a sync session");
      return false;
    }
    std::string data_class = LinkString(message, 1);
    if (name == "SDMessageCancelSession") {
      session.reset();
      return true;
    }
    if (data_class != session->data_class) {
      return Cancel(link, session, "Message " + name + " names another data class");
    }
    if (name == "SDMessageGetAllRecordsFromDevice" || name == "SDMessageGetChangesFromDevice") {
      if (session->awaiting_ack) return Cancel(link, session, "Changes are being sent already");
      bool all = name == "SDMessageGetAllRecordsFromDevice";
      session->outgoing = Batches(store, data_class, all ? 0 : session->changes_since);
      session->next = 0;
      return SendBatch(link, *session);
    }
    if (name == "SDMessageAcknowledgeChangesFromDevice") {
      if (!session->awaiting_ack) return Cancel(link, session, "No changes are waiting for an acknowledgement");
      if (session->next < session->outgoing->size()) return SendBatch(link, *session);
      session->awaiting_ack = false;
      session->outgoing.reset();
      PlistPtr ready(MakeLinkMessage({"SDMessageDeviceReadyToReceiveChanges"}));
      return link.Send(ready.get());
    }
    if (name == "SDMessageProcessChanges") return ReceiveChanges(store, link, message, session);
    if (name == "SDMessageClearAllRecordsOnDevice") {
      store.Clear(data_class);
      PlistPtr answer(MakeLinkMessage({"SDMessageDeviceWillClearAllRecords", data_class.c_str()}));
      return link.Send(answer.get());
    }
    if (name == "SDMessageFinishSessionOnDevice") {
      store.Finish(data_class, session->device_anchor);
      session.reset();
      PlistPtr answer(MakeLinkMessage({"SDMessageDeviceFinishedSession", data_class.c_str()}));
      return link.Send(answer.get());
    }
    return Cancel(link, session, "Unexpected message " + name);
  }

  static bool Cancel(DeviceLink& link, std::optional<SyncSession>& session, const std::string& reason) {
    PlistPtr answer(MakeLinkMessage({"SDMessageCancelSession", session->data_class.c_str(), reason.c_str()}));
    session.reset();
    return link.Send(answer.get());
  }

  static bool Refuse(DeviceLink& link, const std::string& data_class, const char* kind, const std::string& reason) {
    PlistPtr answer(MakeLinkMessage({kind, data_class.c_str(), reason.c_str()}));
    return link.Send(answer.get());
  }

  static bool StartSession(ServiceContext& context, DeviceLink& link, plist_t message,
                           std::optional<SyncSession>& session) {
    std::string data_class = LinkString(message, 1);
    if (data_class.empty()) {
      link.SendDisconnect("The sync request names no data class");
      return false;
    }
    const char* kRefuse = "SDMessageRefuseToSyncDataClassWithComputer";
    plist_t version_node = plist_array_get_size(message) > 4 ? plist_array_get_item(message, 4) : nullptr;
    if (!version_node || plist_get_node_type(version_node) != PLIST_UINT ||
        plist_get_node_type(plist_array_get_item(message, 2)) != PLIST_STRING ||
        plist_get_node_type(plist_array_get_item(message, 3)) != PLIST_STRING) {
      return Refuse(link, data_class, kRefuse, "The sync request is malformed");
    }
    const SyncClassInfo* info = FindSyncClass(data_class);
    if (!info) return Refuse(link, data_class, kRefuse, "The device does not sync " + data_class);
    std::optional<Value> tethered = context.device->GetValue("com.apple.mobile.tethered_sync", info->short_name);
    if (tethered) {
      const Value* disabled = tethered->Find("DisableTethered");
      if (disabled && disabled->type() == Value::Type::kBool && disabled->flag()) {
        return Refuse(link, data_class, kRefuse, std::string(info->short_name) + " are not synced with a computer");
      }
    }
    SyncStore& store = context.device->sync;
    SyncClassSettings settings = store.Settings(data_class);
    if (settings.answer == "refuse") {
      return Refuse(link, data_class, kRefuse, settings.reason.empty() ? "The device refuses to sync" : settings.reason);
    }
    if (settings.answer == "cancel") {
      return Refuse(link, data_class, "SDMessageCancelSession",
                    settings.reason.empty() ? "The device cancelled the session" : settings.reason);
    }
    uint64_t computer_version = 0;
    plist_get_uint_val(version_node, &computer_version);
    if (computer_version < settings.min_computer_version) {
      return Refuse(link, data_class, kRefuse, "Your computer's software is out of date");
    }
    std::string computer_anchor = LinkString(message, 3);
    SyncStart start = store.Begin(data_class, LinkString(message, 2));
    session.emplace();
    session->data_class = data_class;
    session->device_anchor = start.device_anchor;
    session->changes_since = start.changes_since;
    PlistPtr answer(MakeLinkMessage({"SDMessageSyncDataClassWithComputer", data_class.c_str(),
                                     start.device_anchor.c_str(), computer_anchor.c_str(),
                                     start.sync_type.c_str()}));
    plist_array_append_item(answer.get(), plist_new_uint(settings.version ? settings.version : info->version));
    return link.Send(answer.get());
  }

  // The records changed after `since` (0: all) as the batch messages the device sends, taken from the store's
  // kept copy when all records are asked for and nothing changed since the last read.
  static SyncStore::EncodedBatches Batches(SyncStore& store, const std::string& data_class, uint64_t since) {
    if (since == 0) {
      if (SyncStore::EncodedBatches kept = store.KeptBatches(data_class)) return kept;
    }
    uint64_t version = 0;
    std::vector<SyncRecord> records = store.Records(data_class, since, &version);
    size_t batch_size = static_cast<size_t>(store.batch_size());
    auto batches = std::make_shared<std::vector<std::string>>();
    PlistPtr actions(plist_new_dict());
    plist_t entities = plist_new_array();
    for (const std::string& entity : FindSyncClass(data_class)->entities) {
      plist_array_append_item(entities, plist_new_string(entity.c_str()));
    }
    plist_dict_set_item(actions.get(), "SyncDeviceLinkEntityNamesKey", entities);
    size_t first = 0;
    do {
      size_t end = std::min(records.size(), first + batch_size);
      bool more = end < records.size();
      PlistPtr batch(MakeLinkMessage({"SDMessageProcessChanges", data_class.c_str()}));
      plist_t dict = plist_new_dict();
      for (size_t i = first; i < end; ++i) plist_dict_set_item(dict, records[i].id.c_str(), ToPlist(*records[i].fields));
      plist_array_append_item(batch.get(), dict);
      plist_array_append_item(batch.get(), plist_new_bool(more ? 1 : 0));
      plist_dict_set_item(actions.get(), "SyncDeviceLinkAllRecordsOfPulledEntityTypeSentKey", plist_new_bool(more ? 0 : 1));
      plist_array_append_item(batch.get(), plist_copy(actions.get()));
      batches->push_back(ToBinary(batch.get()));
      first = end;
    } while (first < records.size());
    if (since == 0) store.KeepBatches(data_class, version, batches);
    return batches;
  }

  static bool SendBatch(DeviceLink& link, SyncSession& session) {
    session.awaiting_ack = true;
    return link.SendEncoded((*session.outgoing)[session.next++]);
  }

  static bool ReceiveChanges(SyncStore& store, DeviceLink& link, plist_t message,
                             std::optional<SyncSession>& session) {
    plist_t changes = plist_array_get_size(message) > 2 ? plist_array_get_item(message, 2) : nullptr;
    bool no_records = changes && plist_get_node_type(changes) == PLIST_STRING && LinkString(message, 2) == kEmptyParameter;
    if (!no_records && (!changes || plist_get_node_type(changes) != PLIST_DICT)) {
      return Cancel(link, session, "The changes are not a dictionary of records");
    }
    // Changes from the computer end the device's own sending, acknowledged or not.
    session->awaiting_ack = false;
    session->outgoing.reset();
    std::map<std::string, std::string> assigned;
    if (!no_records) {
      size_t rejected = 0;
      assigned = store.Apply(session->data_class, changes, &session->new_ids, &rejected);
    }
    plist_t remap = plist_new_dict();
    for (const auto& [computer_id, device_id] : assigned) {
      plist_dict_set_item(remap, computer_id.c_str(), plist_new_string(device_id.c_str()));
    }
    PlistPtr answer(MakeLinkMessage({"SDMessageRemapRecordIdentifiers", session->data_class.c_str()}));
    plist_array_append_item(answer.get(), remap);
    return link.Send(answer.get());
  }
};

}  // namespace

std::unique_ptr<Service> MakeMobileSyncService() { return std::make_unique<MobileSyncService>(); }

}  // namespace devicesim
