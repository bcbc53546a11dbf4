// Fuzz target: a device's answer can be any bytes; parsing it, naming it and reading XML text never crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "iOSAPI/plist_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  PlistValue value;
  ParseMessage(bytes, size, &value);
  MessageName(bytes, size);
  MakeMessage(std::string_view(bytes, size));
  return 0;
}
