#include "options.h"

#include <rapidjson/reader.h>

#include <charconv>
#include <sstream>

#include "command_list.h"

namespace corvane_host {
namespace {

template <typename T>
bool ParseNumber(std::string_view text, T* out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

std::string_view Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> SplitWords(std::string_view s) {
  std::istringstream in{std::string(s)};
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// Reads the value after option args[*i]; false when it is missing.
bool TakeValue(const std::vector<std::string>& args, size_t* i, std::string* value, std::string* error) {
  if (*i + 1 >= args.size()) {
    *error = args[*i] + " needs a value";
    return false;
  }
  *value = args[++*i];
  return true;
}

// Parses `--data FILE`, `--marker N` and `--task-id N` from args[from..].
bool ParseSendOptions(const std::vector<std::string>& args, size_t from, SendRequest* r, std::string* error) {
  for (size_t i = from; i < args.size(); ++i) {
    std::string value;
    if (args[i] == "--data" || args[i] == "--marker" || args[i] == "--task-id") {
      if (!TakeValue(args, &i, &value, error)) return false;
    } else {
      *error = "send: unexpected \"" + args[i] + "\"";
      return false;
    }
    if (args[i - 1] == "--data") r->data_file = value;
    if (args[i - 1] == "--marker") r->marker = value;
    if (args[i - 1] == "--task-id") {
      uint64_t id = 0;
      if (!ParseNumber(value, &id)) {
        *error = "send: --task-id \"" + value + "\" is not a number";
        return false;
      }
      r->task_id = id;
    }
  }
  return true;
}

bool ParseType(std::string_view text, SendRequest* r, std::string* error) {
  if (ParseNumber(text, &r->packet_type)) return true;
  *error = "send: packet type \"" + std::string(text) + "\" is not a number";
  return false;
}

}  // namespace

bool ParseSendArgs(const std::vector<std::string>& args, SendRequest* request, std::string* error) {
  if (args.size() < 2) {
    *error = "send needs TYPE and JSON";
    return false;
  }
  if (!ParseType(args[0], request, error)) return false;
  request->json = args[1];
  return ParseSendOptions(args, 2, request, error);
}

bool ParseSendLine(std::string_view text, SendRequest* request, std::string* error) {
  text = Trim(text);
  size_t type_end = text.find_first_of(" \t");
  if (type_end == std::string_view::npos) {
    *error = "send needs TYPE and JSON";
    return false;
  }
  if (!ParseType(text.substr(0, type_end), request, error)) return false;
  std::string rest(Trim(text.substr(type_end)));

  // Where a JSON value at the start of `rest` ends, if there is one.
  size_t json_end = std::string::npos;
  rapidjson::StringStream stream(rest.c_str());
  rapidjson::BaseReaderHandler<> ignore;
  rapidjson::Reader reader;
  if (!reader.Parse<rapidjson::kParseStopWhenDoneFlag>(stream, ignore).IsError()) json_end = stream.Tell();
  if (json_end == std::string::npos) {
    json_end = rest.size();
    for (const char* option : {" --data ", " --marker ", " --task-id "}) {
      json_end = std::min(json_end, rest.find(option));
    }
  }
  request->json = std::string(Trim(std::string_view(rest).substr(0, json_end)));
  if (request->json.empty()) {
    *error = "send needs JSON after TYPE";
    return false;
  }
  std::vector<std::string> words = SplitWords(json_end < rest.size() ? rest.substr(json_end) : "");
  return ParseSendOptions(words, 0, request, error);
}

bool ParseHostArgs(const std::vector<std::string>& args, HostOptions* o, std::string* error) {
  size_t i = 0;
  for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
    const std::string& a = args[i] == "-u" ? "--udid" : args[i];
    if (a == "--pretty" || a == "--progress") {
      (a == "--pretty" ? o->pretty : o->progress) = true;
      continue;
    }
    if (a == "--detached") {
      o->detached = true;
      continue;
    }
    std::vector<std::string>* list = a == "--param"       ? &o->params
                                     : a == "--omit"      ? &o->omitted
                                     : a == "--simulator" ? &o->simulator_profiles
                                                          : nullptr;
    std::string* text = a == "--corvane"          ? &o->corvane_path
                        : a == "--corvane-output" ? &o->corvane_output
                        : a == "--devicesim"      ? &o->simulator_path
                        : a == "--udid"           ? &o->udid
                        : a == "--save"           ? &o->save_dir
                                                  : nullptr;
    if (list == nullptr && text == nullptr && a != "--timeout") {
      *error = "unknown option " + a;
      return false;
    }
    std::string value;
    if (!TakeValue(args, &i, &value, error)) return false;
    if (list != nullptr) list->push_back(value);
    if (text != nullptr) *text = value;
    if (a == "--timeout" && (!ParseNumber(value, &o->timeout_seconds) || o->timeout_seconds <= 0)) {
      *error = "--timeout \"" + value + "\" is not a positive number of seconds";
      return false;
    }
  }
  if (i == args.size()) {
    *error = "no command given";
    return false;
  }
  o->command = args[i];
  std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  if (o->command == "send") return ParseSendArgs(rest, &o->send, error);
  if (o->command == "upload") {
    if (rest.size() != 2) {
      *error = "upload needs LOCAL_FILE and DEVICE_DIR";
      return false;
    }
    o->upload_local = rest[0];
    o->upload_device_dir = rest[1];
    return true;
  }
  if (o->command != "start" && o->command != "session" && o->command != "devices") {
    *error = "unknown command \"" + o->command + "\"";
    return false;
  }
  if (!rest.empty()) {
    *error = o->command + " takes no arguments";
    return false;
  }
  return true;
}

std::string UsageText() {
  return R"(usage: corvane-host [OPTIONS] COMMAND

Starts Corvane, accepts its connection on 127.0.0.1 and prints every report it sends as one JSON line.

Commands:
  start                      print the start-up reports (types 19 and 9), then stop Corvane
  devices                    list the devices Corvane announces: UDID, model, iOS version, name
  send TYPE JSON [--data FILE] [--marker N] [--task-id N]
                             send one command, print reports until its final report, then stop Corvane;
                             a command for a device waits for the device to arrive and, when its JSON has
                             no "uuid", is sent to the -u device or the first device that arrives
  upload LOCAL_FILE DEVICE_DIR
                             upload a file into a device folder (703), block by block; run it again after an
                             interruption and it resumes where the device's journal says
  session                    read commands from stdin, one a line, and print reports as they arrive:
                               send TYPE JSON [--data FILE] [--marker N] [--task-id N]
                               wait [SECONDS]             print reports until the last command sent has ended
                               wait-type TYPE [SECONDS]   print reports until one of packet type TYPE arrives
                               sim COMMAND                pass a line to the device simulator (attach NAME, ...)
                               sleep MS                   print reports arriving during MS milliseconds
                               quit

Options:
  --corvane PATH             the Corvane executable (default: Corvane beside corvane-host)
  --corvane-output FILE      write Corvane's stdout and stderr to FILE (default: corvane-host's stderr)
  --param KEY=VALUE          set a start parameter: port, pid, show_console, test_self, open_log, version,
                             brand, product, type, task_id, load_modules (comma-separated), or a full key name
  --param KEY:=JSON          give a start parameter a raw JSON value (any type)
  --omit KEY                 leave a start parameter out
  --simulator PROFILE_DIR    start corvane-devicesim with this profile (repeatable) and point Corvane at it
  --devicesim PATH           the simulator executable (default: corvane-devicesim beside corvane-host)
  --detached                 simulated devices start detached
  -u, --udid UDID            the device of commands whose JSON names none (default: the first to arrive)
  --save DIR                 write files for people there: streamed device files (702) under their own
                             name, icons as PNG or JPEG; exports (701) go there; the JSON line names the file
  --progress                 draw the progress line (on stderr) even when stdout is not a terminal; on a
                             terminal it is drawn on stdout in place of the progress reports' JSON lines
  --pretty                   indented output for people
  --timeout SECONDS          limit of each wait (default 30)

Exit status: 0 ok; 1 a failure on the way (Corvane did not start or connect, the device did not become
ready, a wait timed out, the connection was lost); 2 usage error; 3 Corvane answered with a failure
(final header code 5 or 6, or a start report with code 6).

Command types:
)" + CommandHelpText();
}

}  // namespace corvane_host
