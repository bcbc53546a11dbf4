// The operating-system layer: processes, folders, the environment and the standard streams.
//
// Everything above src/platform reaches the operating system through this header and its siblings (socket.h,
// dynamic_library.h, sync_redirector.h); src/platform/posix implements them for Linux. Paths are UTF-8 and use "/".
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

int64_t CurrentProcessId();
// Full path and file name of the running executable.
std::string ExecutablePath();
std::string ExecutableName();

// True while the process exists and has not exited; pid 0 (the system's idle process) always counts as running.
bool IsProcessRunning(int64_t pid);
// True when a running process's name (or its executable's file name) matches one of the ";"-separated shell
// patterns.
bool AnyProcessMatches(std::string_view patterns, bool ignore_case);

// The user's temporary folder ($TMPDIR, else /tmp), ending in "/".
std::string TempFolder();
// The user's data folder ($XDG_DATA_HOME, else ~/.local/share), without a trailing "/".
std::string DataHomeFolder();
std::string GetEnvironment(const char* name);
// "sysname release version" of the kernel; empty when it cannot be read.
std::string SystemDescription();

bool CreateDirectories(const std::string& path);
// Removes a file or a folder with everything in it; true when nothing is left.
bool RemoveTree(const std::string& path);
bool PathExists(const std::string& path);
// Creates a new, empty file of a unique name in the folder of `target` (".<name>.part-XXXXXX"), to be filled and
// then moved over `target` with ReplaceFile; empty when it cannot be created.
std::string CreateTemporaryBeside(const std::string& target);
// Creates a new folder of a unique name, readable only by this user, inside `parent` ("<prefix>XXXXXX"); its
// path, or empty when it cannot be created.
std::string CreatePrivateFolder(const std::string& parent, const std::string& prefix);
// Moves `from` over `to` in one step (a file or link at `to` is replaced, not followed).
bool ReplaceFile(const std::string& from, const std::string& to);
// Free bytes available to this user on the volume holding `path`, or -1.
int64_t FreeBytes(const std::string& path);

// Hands the allocator's free memory back to the system. Each pool thread allocates from its own arena, so the
// peaks of large commands that ran on different threads would otherwise stay resident side by side.
void ReleaseFreeMemory();

// A peer that goes away must not kill the process: writes to closed sockets and pipes fail with an error instead.
void IgnoreBrokenPipes();
// A windowless process has no console: standard output and error go to /dev/null.
void RedirectStandardStreamsToNull();

}  // namespace platform

namespace platform {

// Turns SIGTERM, SIGINT and SIGHUP into a call of `handler` on one thread of its own (each time one arrives), so
// that being told to stop is an orderly quit. Call it first thing in main, before any other thread starts: the
// signals are blocked in the calling thread and every thread it starts later.
void CallOnTerminationSignal(std::function<void()> handler);

}  // namespace platform
