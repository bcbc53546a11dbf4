// ZEBModuleBasicInfo: the host's questions about a device as a whole (packet types 15, 300 and 303).
//
// Every command's payload is the marker "1", NUL, a JSON object, NUL; 303 adds a second JSON text after it. The
// steps common to all three, taken by the front door as the command table says: a marker other than 1 ends the
// command with code 0 and no work; unreadable JSON ends it with 21; the device is looked up by the text member
// "uuid", then by the integer member "code" (the number the host received in the device events); no device ends
// it with 7.
//
//  15  re-announce: nothing for a ready device; otherwise the device-ready handling runs again (its identity is
//      read and every device callback told). Code 0 or the error of that handling.
//  300 basic information: two progress reports (stage 2, the device's uuid), the identity object and then the
//      usage object (battery cycle count and storage by category), each also logged. Code 0, or 12 when the
//      file service cannot be started. Values the device does not give are left out of the identity object;
//      the usage figures stay 0 when the air-traffic service fails, and "CycleCount" is left out when the
//      diagnostics relay does. An air-traffic message longer than the 4 MiB transfer buffer, or one that cannot
//      be named (not a property list, or an XML form over 64 KiB), ends that exchange with nothing measured.
//  303 rename: the second JSON text is {"name":"..."}; 8 when it is not such an object, 12 when the file service
//      cannot be started, else the device's status for the new name (0 = set). An empty name is passed on.
//
// Thread safety: stateless; commands run on any number of pool workers at once.
#pragma once

#include "utility/ios/zeb_device_connection.h"
#include "utility/module/zeb_module.h"

class ZEBModuleBasicInfo : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;

 private:
  int Reannounce(const ZEBDeviceConnectionPtr& connection);
  int SendBasicInfo(const ZEBCommand& command);
};
