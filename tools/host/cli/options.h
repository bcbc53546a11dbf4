// The command line of corvane-host and the `send` requests it accepts, on the command line and in session lines.
// Parsing only; pure functions.
#ifndef CORVANE_TOOLS_HOST_CLI_OPTIONS_H_
#define CORVANE_TOOLS_HOST_CLI_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane_host {

// One command to send: `TYPE JSON [--data FILE] [--marker N] [--task-id N]`.
struct SendRequest {
  uint32_t packet_type = 0;
  std::string json;
  std::string data_file;           // empty: no data part
  std::string marker = "1";
  std::optional<uint64_t> task_id;  // unset: the next free task id
};

struct HostOptions {
  std::string corvane_path;                     // --corvane PATH
  std::string corvane_output;                   // --corvane-output FILE (Corvane's stdout and stderr)
  std::vector<std::string> params;              // --param KEY=VALUE (typed) or KEY:=JSON (raw value), in order
  std::vector<std::string> omitted;             // --omit KEY
  std::vector<std::string> simulator_profiles;  // --simulator PROFILE_DIR
  std::string simulator_path;                   // --devicesim PATH
  bool detached = false;                        // --detached: simulated devices start detached
  bool pretty = false;                          // --pretty
  bool progress = false;                        // --progress: draw the progress line even off a terminal
  std::string udid;                             // -u, --udid UDID: the device of commands that name none
  std::string save_dir;                         // --save DIR: files for people go there
  int timeout_seconds = 30;                     // --timeout SECONDS, for each wait
  std::string command;                          // start | send | session | devices | upload
  SendRequest send;                             // for `send`
  std::string upload_local;                     // for `upload LOCAL DEVICE_DIR`
  std::string upload_device_dir;
};

// Parses argv (without argv[0]). False with *error for a usage error.
bool ParseHostArgs(const std::vector<std::string>& args, HostOptions* options, std::string* error);

// Parses the words after `send` given as separate arguments.
bool ParseSendArgs(const std::vector<std::string>& args, SendRequest* request, std::string* error);

// Parses the text after `send` in a session line. The JSON text may contain spaces: it is the JSON value that
// follows TYPE, or, when that does not parse (to send broken JSON on purpose), everything up to the first option.
bool ParseSendLine(std::string_view text, SendRequest* request, std::string* error);

// The usage text, with the list of command types.
std::string UsageText();

}  // namespace corvane_host

#endif  // CORVANE_TOOLS_HOST_CLI_OPTIONS_H_
