// The change messages of the contacts module: the group message built from the host's parameters, and the
// patching of the device's identifier for a new contact into the host's ready detail messages.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The detail entities in the order their change messages are sent after the contact's.
inline constexpr const char* kContactDetailEntities[] = {
    "com.apple.contacts.Phone Number", "com.apple.contacts.Email Address", "com.apple.contacts.Street Address",
    "com.apple.contacts.URL",          "com.apple.contacts.Related Name",  "com.apple.contacts.IM",
    "com.apple.contacts.Date"};

// ["SDMessageProcessChanges", "com.apple.Contacts", {key: {entity: Group, name, members?}}, true, {...}]; with
// `members` null the record has no "members" (adding a group).
std::string GroupChangeMessage(std::string_view key, std::string_view name, const std::vector<std::string>* members);
