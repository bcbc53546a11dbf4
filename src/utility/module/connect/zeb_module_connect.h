// ZEBModuleConnect: preparing this computer for devices: starting the device monitor on demand (10), fetching
// the driver packages (16), installing them (17) and the store-edition check (18), the last two in an elevated
// copy of this program.
//
// Payload of every command: the marker "1", NUL, the command JSON, NUL. Another marker completes 10 and 16 with
// code 0 and leaves 17 and 18 unanswered.
//  - 10: the device monitor is started; the monitor start report (type 9, {"error_code":N}) goes out and the
//    command completes with N (info {"error_code":N}): 0 running, 9 no device library, 10 usbmuxd does not
//    answer, 11 no device notifications.
//  - 16: {"info":{"url":BASE}}. The packages of driver_download.h are fetched into <work folder>/ios_driver/;
//    progress {"total":T,"step":S,"index":I,"count":C}; the final report has header code 3, code 0 and the JSON
//    array of the verified packages' local paths as its info.
//  - 17: {"info":[package paths]}; 18: no arguments. A normal instance starts the elevated copy (CORVANE_ELEVATE,
//    see platform/elevation.h) on the first of them and hands every one to it; the copy's reports reach the host
//    unchanged, and they are the command's answer (the normal instance sends none of its own). Codes of the
//    normal instance: 51 the command JSON is unreadable, 52 no listener for the copy, 53 the copy cannot start,
//    or it ended before it connected (its user refused to elevate it): every command waiting for it gets 53,
//    and the next command starts a new copy.
//  - 17 in the elevated copy: the installer (CORVANE_INSTALLER, default "dpkg") runs "--install" with each path in
//    turn; progress {"index":I,"count":C} after each. An installer that cannot run, prints "error" or exits with a
//    failure stops the install with 51, as does a usbmuxd that does not answer afterwards. Final info
//    {"error":code}, header code 1 for 0, else 6.
//  - 18 in the elevated copy: the store edition is looked for in "wmic"'s list of store programs; where there is
//    none (this system) the answer is 54. Final info {"error":code}, header code 1 whatever the code.
//
// Thread safety: commands run on any pool thread; the child link is set once at start-up.
#pragma once

#include <atomic>

#include "utility/child_link.h"
#include "utility/module/zeb_module.h"

class ZEBModuleConnect : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;
  // A report of the elevated copy: relayed to the host exactly as it came; 8 when its JSON does not parse.
  int OnChildPacket(const bas::IPCPacket& packet) override;

  void AttachChildLink(ZEBChildLink* link) { link_ = link; }

 private:
  std::atomic<ZEBChildLink*> link_{nullptr};
};
