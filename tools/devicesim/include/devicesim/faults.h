// Faults the simulator can inject into a device's connections, for reliability tests of its clients.
//
// A ServiceFault is armed on one service of one device (by service name; "com.apple.mobile.lockdown" means the
// lockdownd port 62078) and applies to the next `times` connections to that service (-1: every connection).
// Plain data: set it through Simulator::SetServiceFault, which copies it under the device's lock.
#pragma once

#include <cstdint>
#include <string>

namespace devicesim {

inline constexpr char kLockdownServiceName[] = "com.apple.mobile.lockdown";

enum class FaultKind {
  kNone,
  // The device closes the connection once it has sent `bytes` bytes (the cut may fall inside a message).
  kDropAfterBytes,
  // The device accepts the connection and never answers; the connection ends when the client closes it or the
  // simulator stops.
  kStall,
  // The first answer is not a valid message of the service's framing (a length prefix followed by bytes that are
  // no property list; for AFC a header with a wrong magic), then the device closes.
  kMalformed,
  // The first answer announces a message longer than any client accepts (a length prefix above 10 MiB; for AFC an
  // entire_length of 4 GiB) and sends only its beginning, then the device closes.
  kOversized,
  // StartService for the service answers Error "InvalidService" as if the device had no such service.
  kRefuse,
  // The first answer is a length prefix of 0 (an empty message), then the device closes.
  kEmptyMessage,
  // Every request is answered only after `delay_us` microseconds, as a device over USB answers about a
  // millisecond after each request; connections wait independently, so requests on several connections overlap.
  kDelayEachRequest,
};

struct ServiceFault {
  FaultKind kind = FaultKind::kNone;
  uint64_t bytes = 0;  // for kDropAfterBytes
  int times = -1;      // how many connections (or, for kRefuse, service starts) it applies to; -1 = all
  uint64_t delay_us = 0;  // for kDelayEachRequest
};

}  // namespace devicesim
