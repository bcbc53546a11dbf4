// The messages the application module sends: XML templates made binary for the wire.
//
// Every value placed in a template is XML-escaped, so an identifier or path (which may come from a package, an
// untrusted file) cannot change the message's structure. Each function returns the binary property list, or an
// empty string when the text cannot be a property list (for example a value holding control characters that
// XML cannot carry); an empty message is never sent.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

std::string ListMessage();
std::string ListSizesMessage();
std::string IconMessage(std::string_view bundle_id);
std::string InstallMessage(std::string_view device_package_path);
std::string UninstallMessage(std::string_view bundle_id);
std::string ArchiveMessage(std::string_view bundle_id);
