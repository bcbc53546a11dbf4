// ZEBModuleErase: erasing a device's user content (1700) and wiping its free space (1701).
//
// Payload of both commands: a marker, NUL, a JSON object with the device's "uuid", NUL, and a zlib stream holding
// the parameter object. Only the marker "1" does anything; another marker completes with code 0 and changes
// nothing. A command without a "uuid" member gets no answer at all.
//
// 1701 parameters: {"level":N}, the number of passes (at most two run). Progress: header code 2, stage 0, info
// {"percent":P} (0..100 over the whole wipe). See wipe_free_space.h for the passes and their codes.
//
// 1700 parameters: the restore's ({"path","sourceDeviceId","password"}), handed to the restore unchanged. Progress:
// stage 0 {"percent":P} while the media folders are emptied (4, then each folder's value up to 100), stage 2
// {"percent":P} while the user applications are uninstalled (100 once when there are none). Then the restore
// runs with the same command, device and parameters, and its code and message are the command's result.
//
// Codes of both: 0 done; 7 no "uuid" text or no such device; 8 the parameter block does not inflate or parse; 14
// "open app uninstall service error" (1700); 17 "open afc error"; 21 the command JSON is unreadable; the wipe's
// own codes; for 1700 the restore's codes. The final report's info is {"error":message}.
//
// Thread safety: commands run on any pool thread, several at a time; the only module state is the restore
// operation, set once at start-up.
#pragma once

#include <functional>
#include <string>

#include <rapidjson/document.h>

#include "utility/ios/zeb_device_connection.h"
#include "utility/module/zeb_module.h"

// The backup module's restore as erase-all calls it: runs the restore of `device` from the parameters and
// returns its result code, with its message in *message. It may send progress through `command`.
using EraseRestoreOperation = std::function<int(ZEBCommand& command, const ZEBDeviceConnectionPtr& device,
                                                const rapidjson::Value& parameters, std::string* message)>;

class ZEBModuleErase : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;

  // Wires the restore in (the command table does it once at start-up). Until then erase-all ends, after the
  // content is gone, with code 2 and "restore is not available".
  void SetRestoreOperation(EraseRestoreOperation restore);

 private:
  EraseRestoreOperation Restore();

  EraseRestoreOperation restore_;  // guarded by mutex_
};
