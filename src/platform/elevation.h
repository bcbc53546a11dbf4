// Starting a program with administrator rights, as the elevated child helper needs.
//
// The launcher is named by the environment variable CORVANE_ELEVATE: unset means "pkexec" when it is on the PATH;
// "none" starts the program directly, without elevation (tests, or a helper that already runs as root); any other
// value is the launcher to run the program through (launcher program arguments...).
//
// Thread safety: any thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Starts `program` with `arguments` and does not wait for it. False when neither the launcher nor, with "none",
// the program can be started. When the started process ends (a launcher whose user refused, or the program
// itself), it is reaped and `on_exit` (if any) is called with its exit status, on a thread of its own.
bool LaunchElevated(const std::string& program, const std::vector<std::string>& arguments,
                    std::function<void(int status)> on_exit = nullptr);

// Runs a program (arguments[0], found on PATH) with raised rights and waits for it; without a launcher named and
// without pkexec it runs as it is. False when it could not be started; *exit_code is its exit status (128 + signal
// when a signal ended it).
bool RunElevated(const std::vector<std::string>& arguments, int* exit_code);

}  // namespace platform
