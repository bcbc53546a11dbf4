// Running an anchor program (sqlite3, idevicebackup2) the way the benchmarks compare against it: its output
// thrown away, waited for, and what it cost the machine read from the kernel's account of the child.
//
// Thread safety: any thread.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct ProgramRun {
  bool ok = false;          // started, and exited with 0
  double seconds = 0;       // from start to exit
  double cpu_seconds = 0;   // user + system time of the program
  double peak_bytes = 0;    // its peak resident memory
};

// Runs `argv` (argv[0] looked up in PATH) with standard output and standard error to /dev/null.
ProgramRun RunQuietly(const std::vector<std::string>& argv);

}  // namespace bench
