// The benchmarks' own command-line options and working folders.
//
// Each benchmark takes a few options of its own ("--photo_assets=N", "--baseline_corvane=PATH") before Google
// Benchmark sees the rest; and works in a fresh folder, in memory (/dev/shm) when a transfer should not measure
// the disk, removed at the end.
//
// Thread safety: TakeOptions before the benchmarks run; the folder functions from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Option {
  const char* name;  // "--photo_assets"
  int64_t* number = nullptr;
  std::string* text = nullptr;
};

// Stores every "name=value" argument of `options` and returns the arguments left for Google Benchmark (the
// program's name first). A value that is not a number leaves the option as it was.
std::vector<char*> TakeOptions(int argc, char** argv, const std::vector<Option>& options);

// A new folder "<prefix>.XXXXXX" in /dev/shm when `in_memory` and it can be made there, else in the temporary
// folder; "" when none can be made.
std::string MakeBenchFolder(const std::string& prefix, bool in_memory);

}  // namespace bench
