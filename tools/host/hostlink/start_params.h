// The start parameters the host hands Corvane: one JSON object that is Corvane's whole command line (argv[1]).
//
// Every key can be set, left out, or given a raw JSON value of any type, and the whole text can be replaced, so that
// tests can send malformed start parameters as well as good ones. A plain value type; no shared state.
#ifndef CORVANE_TOOLS_HOST_HOSTLINK_START_PARAMS_H_
#define CORVANE_TOOLS_HOST_HOSTLINK_START_PARAMS_H_

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace hostlink {

// The keys, in the order ToJson() writes them.
inline constexpr const char* kParamPort = "kZEBServerStartParamPort";
inline constexpr const char* kParamPid = "kZEBServerStartParamPid";
inline constexpr const char* kParamShowConsole = "kZEBServerStartParamShowConsole";
inline constexpr const char* kParamTestSelf = "kZEBServerStartParamTestSelf";
inline constexpr const char* kParamOpenLog = "kZEBServerStartParamOpenLog";
inline constexpr const char* kParamVersion = "kZEBServerStartParamVersion";
inline constexpr const char* kParamBrand = "kZEBServerStartParamBrand";
inline constexpr const char* kParamProduct = "kZEBServerStartParamProduct";
inline constexpr const char* kParamType = "kZEBServerStartParamType";
inline constexpr const char* kParamTaskId = "kZEBServerStartParamTaskId";
inline constexpr const char* kParamLoadModules = "kZEBServerStartParamLoadModules";

struct StartParams {
  int64_t port = 0;   // the host's listening port; ForListener() fills it in
  int64_t pid = 0;    // the host's process id; Corvane quits when it disappears. Defaults to the caller's pid.
  int64_t show_console = 0;
  int64_t test_self = 0;
  int64_t open_log = 1;
  std::string version = "1.0.0";
  std::string brand = "CorvaneHost";
  std::string product = "corvane-host";
  int64_t type = 0;
  std::string task_id = "1";
  std::vector<std::string> load_modules;

  std::set<std::string> omitted;           // keys (full names) left out of the object
  std::map<std::string, std::string> raw;  // full key → JSON value text written instead of the field; other keys
                                           // are added as extra members
  std::optional<std::string> raw_text;     // when set, the whole command line, verbatim

  StartParams();
  // Defaults with `port` = the listener's port.
  static StartParams ForListener(uint16_t listener_port);

  // Sets one key from text, typed by the key: integers for the integer keys, text for the string keys, and for
  // "load_modules" either a JSON array of strings or comma-separated folders. The key is its full name or its short
  // name (port, pid, show_console, test_self, open_log, version, brand, product, type, task_id, load_modules).
  // False with *error for an unknown key or a value of the wrong form.
  bool Set(std::string_view key, std::string_view value, std::string* error);
  // Resolves a short or full key name to the full name; nullopt for an unknown key.
  static std::optional<std::string> FullKey(std::string_view key);

  // The command line: raw_text when set, else the compact JSON object.
  std::string ToJson() const;
};

}  // namespace hostlink

#endif  // CORVANE_TOOLS_HOST_HOSTLINK_START_PARAMS_H_
