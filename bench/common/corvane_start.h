// Corvane as the benchmarks start it: the scenario tests' harness with its folder where the benchmark works, no
// log file, pointed at the benchmark's simulator, and up once its devices have arrived.
//
// Thread safety: the benchmark's thread.
#pragma once

#include <memory>
#include <string>

#include "harness/corvane_harness.h"

namespace bench {

// Corvane with its folder in `parent` ("" for the temporary folder), pointed at the simulator's usbmuxd address
// `device_socket` ("" for none), once it has seen `devices` devices arrive (with none, once it sent its start
// report), with its reports so far dropped. `program` is another build's Corvane ("" for this one's). Null, with
// a reason in *error, when it did not connect or did not see its devices.
std::unique_ptr<e2e::CorvaneHarness> StartCorvane(const std::string& parent, const std::string& device_socket,
                                                  int devices, std::string* error,
                                                  const std::string& program = std::string());

}  // namespace bench
