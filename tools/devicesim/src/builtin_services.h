// Factories of the services the simulator ships, one per service source file, collected by
// RegisterBuiltinServices (service.cc). Stateless; each call makes a Service for one connection.
#pragma once

#include <memory>

#include "service.h"

namespace devicesim {

inline constexpr char kAfcService[] = "com.apple.afc";
inline constexpr char kAfc2Service[] = "com.apple.afc2";
inline constexpr char kInstallationProxyService[] = "com.apple.mobile.installation_proxy";
inline constexpr char kSpringboardService[] = "com.apple.springboardservices";
inline constexpr char kDiagnosticsService[] = "com.apple.mobile.diagnostics_relay";
inline constexpr char kAirTrafficService[] = "com.apple.atc";
inline constexpr char kNotificationProxyService[] = "com.apple.mobile.notification_proxy";
inline constexpr char kMobileBackup2Service[] = "com.apple.mobilebackup2";
inline constexpr char kMobileSyncService[] = "com.apple.mobilesync";
// Not a device service: a raw byte source and sink that benchmarks use to measure the bare tunnel.
inline constexpr char kRawStreamService[] = "com.corvane.devicesim.stream";

std::unique_ptr<Service> MakeLockdownService();
std::unique_ptr<Service> MakeAfcService();
std::unique_ptr<Service> MakeInstallationProxyService();
std::unique_ptr<Service> MakeSpringboardService();
std::unique_ptr<Service> MakeDiagnosticsService();
std::unique_ptr<Service> MakeAirTrafficService();
std::unique_ptr<Service> MakeNotificationProxyService();
std::unique_ptr<Service> MakeMobileBackup2Service();
std::unique_ptr<Service> MakeRawStreamService();
std::unique_ptr<Service> MakeMobileSyncService();

}  // namespace devicesim
