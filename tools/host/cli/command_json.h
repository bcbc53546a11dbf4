// Small edits corvane-host makes to a command's JSON before sending it: reading a member and adding one that is
// absent ("uuid" from -u or the arrived device, "native_dir" from --save). Text that is not a JSON object is left
// as it is, so broken JSON can still be sent on purpose. Pure functions.
#ifndef CORVANE_TOOLS_HOST_CLI_COMMAND_JSON_H_
#define CORVANE_TOOLS_HOST_CLI_COMMAND_JSON_H_

#include <optional>
#include <string>
#include <string_view>

namespace corvane_host {

// The string member `key` of the JSON object `json`; nullopt when `json` is not an object or has no such string.
std::optional<std::string> StringMember(std::string_view json, const char* key);

// `json` with the string member key:value added when it is an object without `key`; otherwise `json` unchanged.
std::string WithStringMember(std::string_view json, const char* key, std::string_view value);

}  // namespace corvane_host

#endif  // CORVANE_TOOLS_HOST_CLI_COMMAND_JSON_H_
