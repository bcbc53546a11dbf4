#include "utility/ios/zeb_service_messages.h"

#include <string>

bool ReceiveExactly(AMDServiceConnectionRef connection, char* buffer, size_t length) {
  size_t received = 0;
  while (received < length) {
    long n = AMDServiceConnectionReceive(connection, buffer + received, length - received);
    if (n < 1) return false;
    received += static_cast<size_t>(n);
  }
  return true;
}

bool SendMessage(AMDServiceConnectionRef connection, std::string_view message) {
  uint32_t length = static_cast<uint32_t>(message.size());
  char prefix[4] = {static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
                    static_cast<char>(length)};
  AMDServiceConnectionSend(connection, prefix, sizeof prefix);
  return AMDServiceConnectionSend(connection, message.data(), message.size()) >= 0;
}

bool ReceiveMessages(AMDServiceConnectionRef connection, const MessageHandler& handler) {
  std::string body;
  for (;;) {
    unsigned char prefix[4];
    if (!ReceiveExactly(connection, reinterpret_cast<char*>(prefix), sizeof prefix)) return false;
    uint32_t length = (uint32_t{prefix[0]} << 24) | (uint32_t{prefix[1]} << 16) | (uint32_t{prefix[2]} << 8) | prefix[3];
    if (length < 1 || length > kMaxServiceMessage) return false;
    body.resize(length);
    if (!ReceiveExactly(connection, body.data(), length)) return false;
    if (!handler(body)) return true;
  }
}

bool SendAndReceive(AMDServiceConnectionRef connection, std::string_view message, const MessageHandler& handler) {
  if (message.empty() || !SendMessage(connection, message)) return false;
  return ReceiveMessages(connection, handler);
}
