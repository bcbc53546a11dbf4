// Starting a program with administrator rights, as the elevated child helper needs.
//
// The launcher is named by the environment variable CORVANE_ELEVATE: unset means "pkexec" when it is on the PATH;
// "none" starts the program directly, without elevation (tests, or a helper that already runs as root); any other
// value is the launcher to run the program through (launcher program arguments...).
//
// Thread safety: any thread.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts `program` with `arguments` and does not wait for it (it is reaped when it ends). False when neither the
// launcher nor, with "none", the program can be started.
bool LaunchElevated(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace platform
