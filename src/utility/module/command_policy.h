// CommandPolicy: what the command front door does for a packet type before (and instead of) its module's handler.
//
// The modules differ in these generic steps, and the host relies on each module's own answers, so the command
// table row states them rather than each module writing its own front door:
//  - the marker: ignored; or a marker other than 1 ends the command at once with code 0 (checked before the JSON);
//    or a marker other than 1 ends it without any report (checked after the JSON);
//  - unreadable command JSON: the result code of the report (21 for most modules; the file module says 8);
//  - the device: not looked up; looked up by "uuid" and handed over when found; required by "uuid" (or by "uuid"
//    and then the device number in "code"), the command ending with `no_device_code` when none is found;
//  - whether a failed command gives its task up, so that late packets of a broken transfer are dropped rather
//    than taken for the start of a new one.
//
// Thread safety: constants only.
#pragma once

#include "utility/protocol_codes.h"

enum class MarkerRule { kIgnored, kOneElseSuccess, kOneElseSilent };
enum class DeviceRule { kNone, kOptional, kRequired, kRequiredByUuidOrNumber };

struct CommandPolicy {
  MarkerRule marker = MarkerRule::kIgnored;
  int bad_json_code = protocol::kResultBadJson;
  DeviceRule device = DeviceRule::kNone;
  int no_device_code = protocol::kResultNoDevice;
  bool give_up_on_failure = false;
};
