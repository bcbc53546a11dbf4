// ZEBModuleApp: the applications on a device: list (501), icons (502), install packages (504), uninstall (505),
// archive on the device (506).
//
// Payload of every command: the marker "1", NUL, a JSON object with the device's "uuid", NUL, and (except for
// 501) the arguments, a JSON array of texts running to the end of the payload: bundle identifiers (502, 505,
// 506) or local paths of .ipa packages (504). Items that are not texts are skipped.
//
// Result codes of the final report: 0 done (also when a marker other than 1 means there is nothing to do, and
// when the device refused single items: their outcome reports say so); 6 the host stopped the task (checked
// between items); 7 no device with that uuid; 8 the arguments are not a JSON array; 12 install could not start
// the file service; 14 the installation proxy (icons: springboard services) could not be started; 21 the
// command's JSON object does not parse. The marker, the JSON and the device are the front door's to check. The
// reports sent on the way are listed in app_reports.h.
//
// Thread safety: stateless; commands run on any pool thread, several at a time, each with its own services
// (the device's file service is shared through the device layer).
#pragma once

#include <cstdint>

#include "utility/module/zeb_module.h"

class ZEBModuleApp : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;
};
