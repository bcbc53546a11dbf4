// The device library's entry points, as the device layer above calls them.
//
// The names follow the device library the helper was designed for (AMDevice..., AMDServiceConnection..., AFC...);
// underneath they are libimobiledevice and libusbmuxd calls through CMobileExportFun's table. Every call returns a
// 32-bit status, 0 for success (see the kAMD... codes), unless its comment says otherwise. Nothing here exposes a
// libimobiledevice or libplist type.
//
// Devices: the layer creates an AMDevice when usbmuxd reports a device and hands it out as AMDeviceRef (a key
// that stays valid while anyone holds its shared handle). A device keeps one lockdown client, which serves one
// call at a time under the device's own mutex.
//
// Notifications: device events arrive on libusbmuxd's own thread and are queued; AMDeviceRunLoopRun delivers them
// one by one on the thread that calls it. A pairing that waits for the user's answer is retried every two seconds;
// when it succeeds, a kAMDevicePaired message follows.
//
// Thread safety: every function may be called from any thread. REQUIRES: CMobileExportFun::GetInstance().Init()
// returned true before any call.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "iOSAPI/am_device.h"
#include "iOSAPI/plist_value.h"

// Status codes.
constexpr int32_t kAMDSuccess = 0;
constexpr int32_t kAMDUndefinedError = static_cast<int32_t>(0xE8000001);
constexpr int32_t kAMDInvalidArgument = static_cast<int32_t>(0xE8000007);
constexpr int32_t kAMDNotConnected = static_cast<int32_t>(0xE8000065);
constexpr int32_t kAMDMuxError = static_cast<int32_t>(0xE8000084);
constexpr int32_t kAMDInvalidHostID = static_cast<int32_t>(0xE8000025);
constexpr int32_t kAMDSessionInactive = static_cast<int32_t>(0xE800001B);
constexpr int32_t kAMDPasswordProtected = static_cast<int32_t>(0xE800001A);
constexpr int32_t kAMDPairingDialogPending = static_cast<int32_t>(0xE8000095);
constexpr int32_t kAMDUserDeniedPairing = static_cast<int32_t>(0xE8000096);
constexpr int32_t kAMDInvalidService = static_cast<int32_t>(0xE8000022);
constexpr int32_t kAMDTimeout = static_cast<int32_t>(0xE8000009);

// Device notifications.
enum AMDeviceMessage : int { kAMDeviceAttached = 1, kAMDeviceDetached = 2, kAMDeviceChanged = 3, kAMDevicePaired = 4 };
enum AMDeviceInterface : int { kAMDInterfaceUsb = 1, kAMDInterfaceNetwork = 2 };

using AMDeviceHandle = std::shared_ptr<AMDevice>;

struct AMDeviceNotification {
  AMDeviceHandle device;
  int message;
};
using AMDeviceNotificationCallback = void (*)(const AMDeviceNotification& notification, void* context);

int32_t AMDeviceNotificationSubscribe(AMDeviceNotificationCallback callback, void* context);
void AMDeviceNotificationUnsubscribe();
// Delivers queued notifications on the calling thread until AMDeviceRunLoopStop.
void AMDeviceRunLoopRun();
void AMDeviceRunLoopStop();

// True when the usbmuxd daemon answers (a device list can be read).
bool AMDeviceServiceIsRunning();

// The shared handle of a device reference.
AMDeviceHandle AMDeviceShare(AMDeviceRef device);
std::string AMDeviceGetUDID(AMDeviceRef device);
int AMDeviceGetInterfaceType(AMDeviceRef device);
int32_t AMDeviceConnect(AMDeviceRef device);
int32_t AMDeviceDisconnect(AMDeviceRef device);
// The usbmuxd handle of this attachment (unique per attachment).
uint32_t AMDeviceGetConnectionID(AMDeviceRef device);
// Non-zero when this computer holds a pairing record (with a host id) for the device.
int AMDeviceIsPaired(AMDeviceRef device);
int32_t AMDeviceValidatePairing(AMDeviceRef device);
int32_t AMDevicePair(AMDeviceRef device);
int32_t AMDeviceStartSession(AMDeviceRef device);
// The id of the device's running session ("" when none).
std::string AMDeviceGetSessionID(AMDeviceRef device);
// Stops the running session; with a non-empty `session_id`, only when that is the one running.
int32_t AMDeviceStopSession(AMDeviceRef device, const std::string& session_id = std::string());
// A lockdown value (no domain when `domain` is null; the whole domain when `key` is null), or nothing. Data
// values come as upper-case hexadecimal text.
std::optional<PlistValue> AMDeviceCopyValue(AMDeviceRef device, const char* domain, const char* key);
int32_t AMDeviceSetValue(AMDeviceRef device, const char* domain, const char* key, const PlistValue& value);

// Services.
struct AMDServiceConnection;
using AMDServiceConnectionRef = AMDServiceConnection*;

// Starts a service over the device's session; with `unlock_escrow_bag` the pairing's escrow bag is sent along.
int32_t AMDeviceSecureStartService(AMDeviceRef device, const char* name, bool unlock_escrow_bag,
                                   AMDServiceConnectionRef* connection);
// Sends all `length` bytes (returning that count) or fails (negative). Receives what arrives, up to `length`:
// the count, 0 when the receive timed out or the peer closed, negative on failure.
long AMDServiceConnectionSend(AMDServiceConnectionRef connection, const void* data, size_t length);
long AMDServiceConnectionReceive(AMDServiceConnectionRef connection, void* buffer, size_t length);
// As AMDServiceConnectionReceive, but waiting at most `timeout_ms` for the first byte instead of the process-wide
// receive time-out.
long AMDServiceConnectionReceiveWithin(AMDServiceConnectionRef connection, void* buffer, size_t length,
                                       unsigned timeout_ms);
// True when the service runs over an encrypted channel.
bool AMDServiceConnectionGetSecureIOContext(AMDServiceConnectionRef connection);
// Closes the connection and frees it.
void AMDServiceConnectionInvalidate(AMDServiceConnectionRef connection);

// The file service (AFC), on a started service connection.
struct AFCConnection;
using AFCConnectionRef = AFCConnection*;
struct AFCKeyValue;
using AFCKeyValueRef = AFCKeyValue*;
struct AFCDirectory;
using AFCDirectoryRef = AFCDirectory*;

constexpr int kAFCModeRead = 1;   // read only
constexpr int kAFCModeWrite = 2;  // write only, created or truncated
constexpr int kAFCModeReadWrite = 3;

int32_t AFCConnectionOpen(AMDServiceConnectionRef service, AFCConnectionRef* afc);
void AFCConnectionClose(AFCConnectionRef afc);
int32_t AFCFileInfoOpen(AFCConnectionRef afc, const char* path, AFCKeyValueRef* info);
int32_t AFCDeviceInfoOpen(AFCConnectionRef afc, AFCKeyValueRef* info);
// The next pair; false when there is none.
bool AFCKeyValueRead(AFCKeyValueRef info, const char** key, const char** value);
void AFCKeyValueClose(AFCKeyValueRef info);
int32_t AFCDirectoryOpen(AFCConnectionRef afc, const char* path, AFCDirectoryRef* directory);
// The next name (with "." and ".."); false when there is none.
bool AFCDirectoryRead(AFCDirectoryRef directory, const char** name);
void AFCDirectoryClose(AFCDirectoryRef directory);
int32_t AFCDirectoryCreate(AFCConnectionRef afc, const char* path);
int32_t AFCRemovePath(AFCConnectionRef afc, const char* path);
int32_t AFCRenamePath(AFCConnectionRef afc, const char* from, const char* to);
int32_t AFCFileRefOpen(AFCConnectionRef afc, const char* path, int mode, uint64_t* file);
int32_t AFCFileRefClose(AFCConnectionRef afc, uint64_t file);
// Reads up to *length bytes; *length becomes the count read (0 at the end).
int32_t AFCFileRefRead(AFCConnectionRef afc, uint64_t file, void* buffer, uint32_t* length);
// Writes all `length` bytes; a short write is a failure.
int32_t AFCFileRefWrite(AFCConnectionRef afc, uint64_t file, const void* data, uint32_t length);
int32_t AFCFileRefSeek(AFCConnectionRef afc, uint64_t file, int64_t offset, int whence);
int32_t AFCFileRefTell(AFCConnectionRef afc, uint64_t file, uint64_t* position);
int32_t AFCFileRefSetFileSize(AFCConnectionRef afc, uint64_t file, uint64_t size);
int32_t AFCFileRefLock(AFCConnectionRef afc, uint64_t file);
int32_t AFCFileRefUnlock(AFCConnectionRef afc, uint64_t file);
