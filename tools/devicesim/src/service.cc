#include "service.h"

#include "builtin_services.h"
#include "hub.h"
#include "plist_channel.h"

namespace devicesim {

void ServiceContext::Log(const std::string& name, std::map<std::string, std::string> args) const {
  hub.Record(Request{device->udid, service, name, std::move(args)});
}

std::string Service::BrokenAnswer(bool oversized) const {
  if (oversized) {
    // 10 MiB + 1 announced, a few bytes sent: a careful client refuses it before reading the body.
    return EncodeLength((10u << 20) + 1, LengthOrder::kBigEndian) + "<?xml version=\"1.0\"";
  }
  static const std::string kGarbage = "this is not a property list \x01\x02\x03";
  return EncodeLength(static_cast<uint32_t>(kGarbage.size()), LengthOrder::kBigEndian) + kGarbage;
}

bool ServiceRegistry::Register(const std::string& name, ServiceOffer offer, Factory factory, std::string* error) {
  if (name.empty() || !factory) {
    *error = "a service needs a name and a factory";
    return false;
  }
  if (!entries_.emplace(name, Entry{offer, std::move(factory)}).second) {
    *error = "service " + name + " is registered already";
    return false;
  }
  return true;
}

bool ServiceRegistry::Offers(const Profile& profile, const std::string& name) const {
  auto it = entries_.find(name);
  if (it == entries_.end() || profile.disabled_services.count(name)) return false;
  switch (it->second.offer) {
    case ServiceOffer::kStandard:
      return true;
    case ServiceOffer::kJailbroken:
      return profile.jailbroken || profile.extra_services.count(name) > 0;
    case ServiceOffer::kOptIn:
      return profile.extra_services.count(name) > 0;
  }
  return false;
}

std::unique_ptr<Service> ServiceRegistry::Create(const std::string& name) const {
  auto it = entries_.find(name);
  return it == entries_.end() ? nullptr : it->second.factory();
}

void RegisterBuiltinServices(ServiceRegistry& registry) {
  std::string ignored;
  registry.Register(kAfcService, ServiceOffer::kStandard, MakeAfcService, &ignored);
  registry.Register(kAfc2Service, ServiceOffer::kJailbroken, MakeAfcService, &ignored);
  registry.Register(kInstallationProxyService, ServiceOffer::kStandard, MakeInstallationProxyService, &ignored);
  registry.Register(kSpringboardService, ServiceOffer::kStandard, MakeSpringboardService, &ignored);
  registry.Register(kDiagnosticsService, ServiceOffer::kStandard, MakeDiagnosticsService, &ignored);
  registry.Register(kAirTrafficService, ServiceOffer::kStandard, MakeAirTrafficService, &ignored);
  registry.Register(kNotificationProxyService, ServiceOffer::kStandard, MakeNotificationProxyService, &ignored);
  registry.Register(kMobileBackup2Service, ServiceOffer::kStandard, MakeMobileBackup2Service, &ignored);
  registry.Register(kMobileSyncService, ServiceOffer::kStandard, MakeMobileSyncService, &ignored);
  registry.Register(kRawStreamService, ServiceOffer::kOptIn, MakeRawStreamService, &ignored);
}

}  // namespace devicesim
