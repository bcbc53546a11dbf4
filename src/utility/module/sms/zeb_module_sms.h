// ZEBModuleSms: the conversations and messages of a message database ("sms.db", a local copy whose path the host
// sends), for the host (packet type 201) and for plug-ins (the sub-command "LIBPLATFORM_SMS_QUERY_CONVERSATION_LIST").
//
// Host command, marker 1: {"uuid":"D","info":{"sms_db_path":"P"}}. The reports (see sms_host_stream.h) carry the
// device identifier of the connected device D, or "" when no such device is connected; the database is read either
// way. The stream ends with the final report, code 0, also when the database cannot be read (the host then has seen
// a count of 0). Unreadable JSON is answered with 21 (by the front door, before the marker is looked at). A
// command that does not carry marker 1 gets no report at all. A task stopped while its stream runs ends with 6.
//
// Sub-command: the payload is the JSON text {"path":"P"}; on success the message's result is 1 and its payload is
// replaced by a rapidjson::Document {"path":"P","chats":[...]} that the caller owns (corvane/plugin.h); otherwise
// the result is 0 and the payload is left as it was.
//
// Thread safety: stateless; any number of commands may run at once.
#pragma once

#include <cstdint>

#include "basic/bas_observer.h"
#include "corvane/plugin.h"
#include "utility/module/zeb_module.h"

class ZEBModuleSms : public ZEBModule, public bas::BASObserver {
 public:
  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;

  static void QueryConversationList(BASObserveData* message);
};
