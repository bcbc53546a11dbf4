// The fixed messages of a sync session with the device's synchronisation service, as XML property-list text in
// the frame every device-link message shares, and the computer anchor a session announces itself with.
//
// Every value the host or the device supplies (a data class, a record identifier, a name) is XML-escaped before
// it goes into a body, so no value can change a message's structure.
//
// Thread safety: pure functions (the anchor reads the process's local zone).
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "iOSAPI/plist_message.h"  // XmlEscape

// The frame (XML declaration, document type, <plist>) around a body.
std::string PlistFrame(std::string_view body);

// ["SDMessageSyncDataClassWithDevice", class, anchor name, computer anchor, version, empty parameter].
std::string SyncRequestMessage(std::string_view data_class, std::string_view anchor_name, std::string_view anchor,
                               long long version);
// [name, data class]: get changes, get all records, acknowledge, finish.
std::string ClassMessage(std::string_view name, std::string_view data_class);
// ["SDMessageProcessChanges", class, {id: empty parameter}]: deletes the record `id`, whatever its length.
std::string DeleteRecordMessage(std::string_view data_class, std::string_view id);

// `xml` with every element whose whole text is `from` (a <string> or <key>) rewritten to hold `to`: how the
// device's identifier for a new record replaces the host's in the messages that link to it. Only whole element
// texts are identifiers: "1" becoming "812" must not touch the "1" of "+1 555 0100".
std::string ReplaceIdentifier(std::string xml, std::string_view from, std::string_view to);

// "YYYY-MM-DD HH:MM:SS +HH00" (or -HH00 west of UTC): `now` in local time and the zone's standard offset in whole
// hours, truncated toward zero; daylight saving is never applied and the minutes are always "00".
std::string ComputerAnchorText(std::time_t now);

// The literal that stands for an empty parameter in the protocol.
inline constexpr std::string_view kEmptyParameter = "___EmptyParameterString___";
