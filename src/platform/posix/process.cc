#include <dirent.h>
#include <fnmatch.h>
#include <signal.h>
#include <sys/utsname.h>
#include <malloc.h>
#include <unistd.h>

#include <cctype>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadLink(const std::string& path) {
  std::vector<char> buffer(4096);
  ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size() - 1);
  return n <= 0 ? std::string() : std::string(buffer.data(), static_cast<size_t>(n));
}

bool MatchesAny(std::string_view patterns, const std::string& name, bool ignore_case) {
  std::string subject = ignore_case ? Lower(name) : name;
  size_t start = 0;
  while (start <= patterns.size()) {
    size_t end = patterns.find(';', start);
    if (end == std::string_view::npos) end = patterns.size();
    std::string pattern(patterns.substr(start, end - start));
    if (ignore_case) pattern = Lower(pattern);
    if (!pattern.empty() && ::fnmatch(pattern.c_str(), subject.c_str(), 0) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

int64_t CurrentProcessId() { return static_cast<int64_t>(::getpid()); }

std::string ExecutablePath() { return ReadLink("/proc/self/exe"); }

std::string ExecutableName() { return FileNameOf(ExecutablePath()); }

bool IsProcessRunning(int64_t pid) {
  if (pid == 0) return true;
  if (pid < 0) return false;
  // /proc/<pid>/stat holds "pid (comm) state ..."; a zombie (Z) or dead (X) process has already exited.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  size_t paren = line.rfind(')');
  if (paren == std::string::npos || paren + 2 >= line.size()) return false;
  char state = line[paren + 2];
  return state != 'Z' && state != 'X';
}

bool AnyProcessMatches(std::string_view patterns, bool ignore_case) {
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return false;
  bool found = false;
  while (!found) {
    dirent* entry = ::readdir(proc);
    if (entry == nullptr) break;
    if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
    std::string base = std::string("/proc/") + entry->d_name;
    std::string comm;
    std::getline(std::ifstream(base + "/comm"), comm);
    found = MatchesAny(patterns, comm, ignore_case) ||
            MatchesAny(patterns, FileNameOf(ReadLink(base + "/exe")), ignore_case);
  }
  ::closedir(proc);
  return found;
}

std::string GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string TempFolder() {
  std::string folder = GetEnvironment("TMPDIR");
  if (folder.empty()) folder = "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string DataHomeFolder() {
  std::string folder = GetEnvironment("XDG_DATA_HOME");
  if (folder.empty()) folder = GetEnvironment("HOME") + "/.local/share";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string SystemDescription() {
  struct utsname name {};
  if (::uname(&name) != 0) return std::string();
  return std::string(name.sysname) + " " + name.release + " " + name.version;
}

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

void RedirectStandardStreamsToNull() {
  int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd < 0) return;
  ::dup2(null_fd, STDOUT_FILENO);
  ::dup2(null_fd, STDERR_FILENO);
  if (null_fd > STDERR_FILENO) ::close(null_fd);  // it may itself have become standard output or error
}

}  // namespace platform

namespace platform {

void ReleaseFreeMemory() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

}  // namespace platform
