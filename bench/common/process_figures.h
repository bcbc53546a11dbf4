// What a benchmark reads about a process it started (Corvane, mostly) from /proc: its peak resident memory and
// the processor time it has used.
//
// Thread safety: pure functions.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace bench {

// VmHWM in KiB; -1 when the process is gone or /proc cannot be read.
int64_t PeakResidentKiB(pid_t pid);
// User plus system time in seconds; -1 when it cannot be read.
double CpuSeconds(pid_t pid);

}  // namespace bench
