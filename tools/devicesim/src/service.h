// The device services behind lockdownd's StartService, each a small class registered by name, and what a service
// gets to work with (its device, its stream, the request log).
//
// Thread safety: a Service object serves exactly one connection on one thread. The registry is filled before the
// simulator starts and only read afterwards, so lookups need no lock.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "device.h"
#include "stream.h"

namespace devicesim {

class Hub;

struct ServiceContext {
  Hub& hub;
  std::shared_ptr<Device> device;
  Stream& stream;
  std::string service;  // the name the client started, e.g. "com.apple.afc2"
  uint64_t request_delay_us = 0;  // how long each request waits before it is answered (a fault; 0 for none)

  // Records one request of this service in the log.
  void Log(const std::string& name, std::map<std::string, std::string> args = {}) const;
};

class Service {
 public:
  virtual ~Service() = default;
  // Serves the connection until the client closes it, a message cannot be read or the simulator stops.
  virtual void Serve(ServiceContext& context) = 0;
  // The first answer sent under the kMalformed and kOversized faults. The default suits every service framed by
  // a 4-byte big-endian length.
  virtual std::string BrokenAnswer(bool oversized) const;
};

enum class ServiceOffer {
  kStandard,    // offered by every device unless its profile disables it
  kJailbroken,  // offered only by jailbroken devices
  kOptIn,       // offered only when a profile enables it
};

class ServiceRegistry {
 public:
  using Factory = std::function<std::unique_ptr<Service>()>;

  // Refuses an empty name, a missing factory and a name registered before.
  bool Register(const std::string& name, ServiceOffer offer, Factory factory, std::string* error);
  // Whether `profile` offers the service (registered, and not disabled, and allowed by its offer kind).
  bool Offers(const Profile& profile, const std::string& name) const;
  std::unique_ptr<Service> Create(const std::string& name) const;

 private:
  struct Entry {
    ServiceOffer offer;
    Factory factory;
  };
  std::map<std::string, Entry> entries_;
};

// Registers AFC (and afc2), installation proxy, springboard services, diagnostics relay, air-traffic control,
// notification proxy, the backup service, the synchronisation service and the opt-in raw stream service.
void RegisterBuiltinServices(ServiceRegistry& registry);

}  // namespace devicesim
