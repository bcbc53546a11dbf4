// Property-list messages on a service connection.
//
// Every message is a 32-bit big-endian length followed by that many bytes of a serialised property list. A
// length below 1 or above 10 MiB, or a receive that comes up short, ends the receive loop: the handler decides what
// the partial state means.
//
// Thread safety: one exchange at a time per connection.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "iOSAPI/mobile_device.h"

inline constexpr size_t kMaxServiceMessage = 10 * 1024 * 1024;

// Handles one received message and returns true to ask for the next one.
using MessageHandler = std::function<bool(std::string_view message)>;

bool SendMessage(AMDServiceConnectionRef connection, std::string_view message);
// Reads messages until the handler says stop (true) or the connection ends the loop (false).
bool ReceiveMessages(AMDServiceConnectionRef connection, const MessageHandler& handler);
// SendMessage, then ReceiveMessages; false when the message is empty or could not be sent.
bool SendAndReceive(AMDServiceConnectionRef connection, std::string_view message, const MessageHandler& handler);

// Receives exactly `length` bytes; false when the connection fails or comes up short.
bool ReceiveExactly(AMDServiceConnectionRef connection, char* buffer, size_t length);
