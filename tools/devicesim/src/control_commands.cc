#include "devicesim/control_commands.h"

#include <sstream>
#include <vector>

namespace devicesim {
namespace {

using DeviceCommand = bool (Simulator::*)(const std::string&, std::string*);

constexpr struct {
  const char* name;
  DeviceCommand run;
} kDeviceCommands[] = {
    {"attach", &Simulator::Attach}, {"detach", &Simulator::Detach}, {"trust", &Simulator::Trust},
    {"deny", &Simulator::Deny},     {"lock", &Simulator::Lock},     {"unlock", &Simulator::Unlock},
};

const char kHelp[] =
    "commands:\n"
    "  attach NAME | detach NAME   plug the device in or pull it out\n"
    "  trust NAME | deny NAME      answer the device's trust dialog\n"
    "  lock NAME | unlock NAME     passcode-lock or unlock the device\n"
    "  list                        show every device\n"
    "  quit                        stop the simulator (end of input does the same)\n"
    "NAME is a profile folder's name or a UDID.\n";

std::string ListLine(const DeviceStatus& status) {
  std::ostringstream line;
  line << status.name << ' ' << status.udid << ' ' << (status.attached ? "attached" : "detached") << ' '
       << TrustStateName(status.trust) << ' ' << (status.locked ? "locked" : "unlocked") << " \""
       << status.device_name << "\"";
  if (status.attached) line << " id=" << status.device_id;
  return line.str() + "\n";
}

}  // namespace

std::string RunControlCommand(Simulator& simulator, const std::string& line, bool* quit) {
  std::istringstream words(line);
  std::vector<std::string> parts;
  for (std::string word; words >> word;) parts.push_back(word);
  if (parts.empty()) return "";
  const std::string& command = parts[0];
  if (command == "quit" || command == "exit") {
    *quit = true;
    return "ok quit\n";
  }
  if (command == "help") return kHelp;
  if (command == "list") {
    if (parts.size() != 1) return "error: list takes no arguments\n";
    std::string out;
    for (const DeviceStatus& status : simulator.List()) out += ListLine(status);
    return out.empty() ? "no devices\n" : out;
  }
  for (const auto& entry : kDeviceCommands) {
    if (command != entry.name) continue;
    if (parts.size() != 2) return "error: usage: " + command + " NAME\n";
    std::string error;
    if (!(simulator.*entry.run)(parts[1], &error)) return "error: " + error + "\n";
    return "ok " + command + " " + parts[1] + "\n";
  }
  return "error: unknown command '" + command + "' (try help)\n";
}

}  // namespace devicesim
