// The line commands people and scripts use to steer a running simulator (the program reads them from standard
// input): attach, detach, trust, deny, lock, unlock NAME; list; help; quit. NAME is a profile folder's name or a
// device's UDID.
//
// Stateless; safe from any thread as far as the Simulator it drives is (which is fully thread-safe).
#pragma once

#include <string>

#include "devicesim/simulator.h"

namespace devicesim {

// Runs one line and returns what to print: lines ending in "\n", "ok ..." or "error: ..." for the device
// commands, one line per device for list, nothing for a blank line. Sets *quit for "quit".
std::string RunControlCommand(Simulator& simulator, const std::string& line, bool* quit);

}  // namespace devicesim
