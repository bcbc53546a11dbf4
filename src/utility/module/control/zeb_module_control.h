// ZEBModuleControl: stops a running task on the host's request (packet type 600).
//
// Command JSON {"info":{"task_id":"T"}} (T as text or as a number): the task with that id is stopped (marked
// aborted; it answers the host with code 6 itself) and the command is answered with code 0, also when no such
// task exists. Unreadable JSON gets code 21 from the front door.
//
// Thread safety: stateless.
#pragma once

#include "utility/module/zeb_module.h"

class ZEBModuleControl : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;
};
