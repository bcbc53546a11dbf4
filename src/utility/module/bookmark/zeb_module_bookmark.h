// ZEBModuleBookmark: the device's browser bookmarks through its synchronisation service ("com.apple.Bookmarks"):
// list the tree (1400), add or edit (1401), delete (1402).
//
// Payload: the marker "1" (any other ends the command with 0 and no device traffic), NUL, the JSON object with
// the device's "uuid" and the parameters, NUL, and for 1401 the data part:
//   1400  none. After the session: stage 1 {"Count":N} (N every record, folders included; -1 when there are none
//         and the device keeps bookmarks in an account), then one stage 2 report per root whose data is that
//         root's JSON with its whole subtree (bookmark_tree.h).
//   1401  the data part is the complete change message (an XML property list "SDMessageProcessChanges" for
//         "com.apple.Bookmarks"), sent as it is; the device's answer is not reported.
//   1402  "id": the record to delete (the session announces class version 106).
//
// Result codes: 0 done; 6 stopped by the host; 7 no such device; 8 parameters that do not parse, no "id", or a
// change message that is no property list (nothing is sent); 13 the sync service cannot be started, refused the
// class, or the exchange broke off or timed out (a read then reports nothing).
//
// Thread safety: stateless; each command runs its own session on its pool thread.
#pragma once

#include "utility/module/zeb_module.h"

class ZEBModuleBookmark : public ZEBModule {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;
};
