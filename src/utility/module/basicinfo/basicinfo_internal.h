// The pieces of the basic information module: the identity object, the usage object and the device exchanges
// behind it (battery cycle count, storage by category), and the rename.
//
// The object builders are pure (they read values through a function the caller gives them), so their member
// order and kinds can be checked without a device. The exchanges talk to a device and never fail the command:
// what they cannot read stays out of (or at 0 in) the usage object.
//
// Thread safety: every function may be called from any thread; the exchanges use the calling thread's transfer
// buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "iOSAPI/plist_value.h"
#include "utility/ios/zeb_device_connection.h"
#include "utility/ios/zeb_direct_service.h"

namespace basicinfo {

// Reads one lockdown value; `domain` is null for the top level. Nothing when the device gives none.
using ValueReader = std::function<std::optional<PlistValue>(const char* domain, const char* key)>;

struct IdentityReport {
  std::string json;  // the identity object
  // The values the module also logs and stores; empty when the device gave none.
  std::string product_type;
  std::string product_version;
  std::string model_number;
};

// The identity object: every member of the identity table the device gives with the expected kind, in table
// order, then "IsJailbreak".
IdentityReport BuildIdentityReport(const ValueReader& read, bool jailbroken);

// Storage use by category, from the air-traffic service's "AssetMetrics".
struct StorageFigures {
  struct Category {
    int64_t size = 0;
    int64_t count = 0;
  };
  Category application, photo, camera_roll, movie, book, music, ringtone;
  int64_t data_free = 0;
  int64_t data_physical = 0;
  int64_t data_others = 0;
};

// Evaluates the "Params" dictionary of an "AssetMetrics" message. Sums wrap around in 64 bits rather than
// overflow, as the device's own 64-bit arithmetic would.
StorageFigures EvaluateAssetMetrics(const PlistValue& params);

// The usage object: "CycleCount" when known, then the storage members in their fixed order.
std::string BuildUsageReport(std::optional<int64_t> cycle_count, const StorageFigures& storage);

// The battery's cycle count from the diagnostics relay; nothing when the relay cannot be started or does not
// tell it.
std::optional<int64_t> ReadCycleCount(const ZEBDeviceConnection& device);

// Storage figures from the air-traffic service; all zero when it cannot be started, says "Ping" or "IdleExit",
// or sends a message that is refused (a body over the 4 MiB transfer buffer, or one whose XML form is over
// 64 KiB or that is no property list: the stream cannot be trusted past it).
StorageFigures ReadStorageFigures(const ZEBDeviceConnection& device);
// The reading half of it, on any byte source: `receive_exactly` fills the buffer with exactly that many bytes of
// the service's stream or says false. The messages are framed with a 32-bit little-endian length.
StorageFigures ReadAirTrafficFigures(const ReceiveExactlyFunc& receive_exactly);

// Renames the device with the second JSON text of a rename command ({"name":"..."}): 8 when it is not such an
// object, 12 when the file service cannot be started, else the device's status for the new name (0 = set).
int RenameDevice(const ZEBDeviceConnection& device, std::string_view name_json);

}  // namespace basicinfo
