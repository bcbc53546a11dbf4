// Property-list messages for device services.
//
// Requests are written as XML property-list text (a template whose "%s" places are filled with escaped values),
// and sent in the binary format; answers in either format become a PlistValue tree. A message buffer is a byte
// string: dropping it frees it.
//
// Thread safety: pure functions.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "iOSAPI/plist_value.h"

// The XML header every message template starts with, in the two public-identifier variants the services use.
inline constexpr std::string_view kPlistHeaderApple =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n";
inline constexpr std::string_view kPlistHeaderAppleComputer =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n";

// The largest XML form MessageName reads; longer messages are refused (their name reads as empty).
inline constexpr size_t kMaxNamedMessageXml = 65536;

enum class PlistFormat { kXml = 100, kBinary = 200 };

// XML text into a binary property list; nothing when the text is not a property list.
std::optional<std::string> MakeMessage(std::string_view xml);

// An answer (binary or XML) into a value tree; false when it is not a property list.
bool ParseMessage(const char* bytes, size_t length, PlistValue* out);

// The text of the value after the first key of the top-level dictionary ("Command" of an air-traffic message);
// empty when there is none or the message's XML form is larger than kMaxNamedMessageXml.
std::string MessageName(const char* bytes, size_t length);

// A value tree written in the given format; nothing when it cannot be written.
std::optional<std::string> SerializePlist(const PlistValue& value, PlistFormat format);

// Text made safe to place between XML tags or inside an attribute.
std::string XmlEscape(std::string_view text);
// The template with each "%s", in order, replaced by the XML-escaped value; no value can change the message's
// structure.
std::string FillTemplate(std::string_view xml_template, std::initializer_list<std::string_view> values);
