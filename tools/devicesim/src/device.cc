#include "device.h"

#include "afc_paths.h"
#include "pairing_material.h"

namespace devicesim {

Device::Device(Profile loaded)
    : profile(std::move(loaded)),
      udid(profile.udid()),
      values(profile.values),
      domains(profile.domains),
      trust(profile.trust),
      locked(profile.passcode_locked),
      apps(profile.apps),
      refuse_connects(profile.refuse_connects),
      faults(profile.faults),
      backup_fault(profile.backup_fault),
      sync(profile.sync) {
  // Pairing needs a real RSA key; a profile may bring its own.
  if (!values.Find("DevicePublicKey")) values.Set("DevicePublicKey", Value::Data(DevicePublicKeyPem()));
  if (!profile.hostile_folder.empty()) NormalizeAfcPath(profile.hostile_folder, &hostile_folder);
  if (profile.afc_free_bytes >= 0) afc_baseline_bytes = ApparentTreeBytes(profile.afc_root);
}

std::optional<Value> Device::GetValue(const std::string& domain, const std::string& key) const {
  std::lock_guard<std::mutex> lock(mutex);
  const Value* section = domain.empty() ? &values : domains.Find(domain);
  if (!section) return std::nullopt;
  if (key.empty()) return *section;
  const Value* value = section->Find(key);
  if (!value) return std::nullopt;
  return *value;
}

void Device::SetValue(const std::string& domain, const std::string& key, Value value) {
  std::lock_guard<std::mutex> lock(mutex);
  if (domain.empty()) {
    values.Set(key, std::move(value));
    return;
  }
  Value* section = domains.Find(domain);
  if (!section) section = &domains.Set(domain, Value::Dict());
  section->Set(key, std::move(value));
}

std::string Device::DeviceName() const {
  std::lock_guard<std::mutex> lock(mutex);
  const Value* name = values.Find("DeviceName");
  return name ? name->text() : std::string();
}

ServiceFault Device::TakeFault(const std::string& service) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = faults.find(service);
  // A refusal acts at StartService, not on the connection.
  if (it == faults.end() || it->second.kind == FaultKind::kNone || it->second.kind == FaultKind::kRefuse) {
    return ServiceFault{};
  }
  ServiceFault fault = it->second;
  if (it->second.times > 0 && --it->second.times == 0) faults.erase(it);
  return fault;
}

void Device::AddObserver(const std::shared_ptr<NotificationSink>& sink) {
  std::lock_guard<std::mutex> lock(mutex);
  observers_.push_back(sink);
}

void Device::RemoveObserver(const NotificationSink* sink) {
  std::lock_guard<std::mutex> lock(mutex);
  std::erase_if(observers_, [sink](const std::weak_ptr<NotificationSink>& weak) {
    auto strong = weak.lock();
    return !strong || strong.get() == sink;
  });
}

void Device::Post(const std::string& name) {
  std::vector<std::shared_ptr<NotificationSink>> targets;
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& weak : observers_) {
      if (auto strong = weak.lock()) targets.push_back(std::move(strong));
    }
  }
  for (const auto& sink : targets) sink->Deliver(name);
}

}  // namespace devicesim
