// lockdownd on port 62078: values, pairing, sessions without TLS and service start.
//
// Choices where no device was observed: without a session only a few identity values can be read (GetValue of
// another value answers "GetProhibited", SetValue "SetProhibited") and StartService answers "SessionInactive".
#include <set>

#include "builtin_services.h"
#include "hub.h"
#include "pairing_material.h"
#include "plist_channel.h"

namespace devicesim {
namespace {

// Readable before a session: what clients read to identify and pair a device.
const std::set<std::string>& PublicKeys() {
  static const std::set<std::string> keys = {
      "BuildVersion", "DeviceClass",     "DeviceName",    "DevicePublicKey", "HardwareModel", "ProductName",
      "ProductType",  "ProductVersion",  "SerialNumber",  "UniqueDeviceID",  "WiFiAddress",   "CPUArchitecture",
      "ActivationState", "BluetoothAddress", "ModelNumber",
  };
  return keys;
}

class LockdownService : public Service {
 public:
  void Serve(ServiceContext& context) override {
    while (!context.hub.stopping.load()) {
      PlistPtr request = ReadPlistMessage(context.stream, LengthOrder::kBigEndian);
      if (!request || plist_get_node_type(request.get()) != PLIST_DICT) return;
      std::string name = DictString(request.get(), "Request").value_or("");
      Value answer = Value::Dict();
      answer.Set("Request", name);
      Handle(context, name, request.get(), &answer);
      PlistPtr node(ToPlist(answer));
      if (!WritePlistMessage(context.stream, LengthOrder::kBigEndian, node.get(), PlistFormat::kXml)) return;
    }
  }

 private:
  void Handle(ServiceContext& context, const std::string& name, plist_t request, Value* answer) {
    Device& device = *context.device;
    std::string domain = DictString(request, "Domain").value_or("");
    std::string key = DictString(request, "Key").value_or("");
    std::map<std::string, std::string> args;
    if (!domain.empty()) args["Domain"] = domain;
    if (!key.empty()) args["Key"] = key;
    if (auto service = DictString(request, "Service")) args["Service"] = *service;
    context.hub.Record(Request{device.udid, "lockdown", name, args});

    if (name == "QueryType") {
      answer->Set("Type", "com.apple.mobile.lockdown");
    } else if (name == "GetValue") {
      GetValue(device, domain, key, answer);
    } else if (name == "SetValue") {
      SetValue(device, domain, key, request, answer);
    } else if (name == "Pair") {
      Pair(device, HostIdOf(request), answer);
    } else if (name == "ValidatePair") {
      if (!IsPaired(device, HostIdOf(request))) answer->Set("Error", "InvalidHostID");
    } else if (name == "Unpair") {
      std::lock_guard<std::mutex> lock(device.mutex);
      device.paired_hosts.erase(HostIdOf(request));
    } else if (name == "StartSession") {
      std::string host_id = DictString(request, "HostID").value_or("");
      if (!IsPaired(device, host_id)) {
        answer->Set("Error", "InvalidHostID");
      } else {
        session_id_ = RandomUuid();
        answer->Set("SessionID", session_id_);
        answer->Set("EnableSessionSSL", false);
      }
    } else if (name == "StopSession") {
      session_id_.clear();
    } else if (name == "StartService") {
      StartService(context, DictString(request, "Service").value_or(""), answer);
    } else if (name == "Goodbye") {
      answer->Set("Result", "Success");
    } else {
      answer->Set("Error", "InvalidRequest");
    }
  }

  static std::string HostIdOf(plist_t request) {
    plist_t record = plist_dict_get_item(request, "PairRecord");
    if (auto host_id = DictString(record, "HostID")) return *host_id;
    return DictString(request, "HostID").value_or("");
  }

  static bool IsPaired(Device& device, const std::string& host_id) {
    std::lock_guard<std::mutex> lock(device.mutex);
    return !host_id.empty() && device.paired_hosts.count(host_id) > 0;
  }

  void GetValue(Device& device, const std::string& domain, const std::string& key, Value* answer) const {
    if (!domain.empty()) answer->Set("Domain", domain);
    if (!key.empty()) answer->Set("Key", key);
    bool in_session = !session_id_.empty();
    if (!in_session && (!domain.empty() || (!key.empty() && !PublicKeys().count(key)))) {
      answer->Set("Error", "GetProhibited");
      return;
    }
    std::optional<Value> value = device.GetValue(domain, key);
    if (!value) {
      answer->Set("Error", "MissingValue");
      return;
    }
    if (!in_session && key.empty()) {
      Value visible = Value::Dict();
      for (const auto& [name, item] : value->members()) {
        if (PublicKeys().count(name)) visible.Set(name, item);
      }
      value = std::move(visible);
    }
    answer->Set("Value", std::move(*value));
  }

  void SetValue(Device& device, const std::string& domain, const std::string& key, plist_t request,
                Value* answer) const {
    if (!domain.empty()) answer->Set("Domain", domain);
    if (!key.empty()) answer->Set("Key", key);
    plist_t value = plist_dict_get_item(request, "Value");
    if (session_id_.empty()) {
      answer->Set("Error", "SetProhibited");
    } else if (key.empty() || !value) {
      answer->Set("Error", "MissingValue");
    } else {
      device.SetValue(domain, key, FromPlist(value));
    }
  }

  static void Pair(Device& device, const std::string& host_id, Value* answer) {
    std::lock_guard<std::mutex> lock(device.mutex);
    if (host_id.empty()) {
      answer->Set("Error", "InvalidHostID");
    } else if (device.locked) {
      answer->Set("Error", "PasswordProtected");
    } else if (device.trust == TrustState::kPending) {
      answer->Set("Error", "PairingDialogResponsePending");
    } else if (device.trust == TrustState::kDenied) {
      answer->Set("Error", "UserDeniedPairing");
    } else {
      device.paired_hosts.insert(host_id);
      answer->Set("EscrowBag", Value::Data(EscrowBag()));
    }
  }

  void StartService(ServiceContext& context, const std::string& service, Value* answer) const {
    Device& device = *context.device;
    answer->Set("Service", service);
    if (session_id_.empty()) {
      answer->Set("Error", "SessionInactive");
      return;
    }
    {
      std::lock_guard<std::mutex> lock(device.mutex);
      if (device.locked) {
        answer->Set("Error", "PasswordProtected");
        return;
      }
      auto refusal = device.faults.find(service);
      if (refusal != device.faults.end() && refusal->second.kind == FaultKind::kRefuse) {
        if (refusal->second.times > 0 && --refusal->second.times == 0) device.faults.erase(refusal);
        answer->Set("Error", "InvalidService");
        return;
      }
    }
    if (!context.hub.services.Offers(device.profile, service)) {
      answer->Set("Error", "InvalidService");
      return;
    }
    answer->Set("Port", static_cast<int64_t>(context.hub.OpenPort(device, service)));
    answer->Set("EnableServiceSSL", false);
  }

  std::string session_id_;  // empty while no session runs on this connection
};

}  // namespace

std::unique_ptr<Service> MakeLockdownService() { return std::make_unique<LockdownService>(); }

}  // namespace devicesim
