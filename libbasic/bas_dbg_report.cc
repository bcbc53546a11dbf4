#include "libbasic/bas_dbg_report.h"

#include <dirent.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstring>

namespace bas {
namespace {

struct CrashConfig {
  std::string dump_path;
  std::string folder;  // the dump's folder, ending in "/"
  std::string zip_path;
  BASDbgReport::CleanupCallback cleanup = nullptr;
  BASDbgReport::ReportCallback report = nullptr;
};

CrashConfig* g_config = nullptr;
volatile sig_atomic_t g_in_handler = 0;
constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t kAlternateStackSize = 1 << 20;
constexpr unsigned kReportSeconds = 10;
constexpr size_t kGuardSize = 1 << 12;

void WriteText(int fd, const char* text) {
  size_t length = std::strlen(text);
  while (length > 0) {
    ssize_t n = ::write(fd, text, length);
    if (n <= 0) return;
    text += n;
    length -= static_cast<size_t>(n);
  }
}

void WriteDump(int signal_number, const siginfo_t* info) {
  int fd = ::open(g_config->dump_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  char line[160];
  std::snprintf(line, sizeof line, "signal %d (%s) at address %p, process %ld\nbacktrace:\n", signal_number,
                strsignal(signal_number), info != nullptr ? info->si_addr : nullptr, static_cast<long>(::getpid()));
  WriteText(fd, line);
  void* frames[64];
  int count = ::backtrace(frames, 64);
  ::backtrace_symbols_fd(frames, count, fd);
  ::close(fd);
}

bool AddFileToZip(zipFile zip, const std::string& folder, const std::string& name) {
  FILE* in = std::fopen((folder + name).c_str(), "rb");
  if (in == nullptr) return false;
  zip_fileinfo info{};
  bool ok = zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_DEFAULT_COMPRESSION) == ZIP_OK;
  char buffer[16384];
  size_t n = 0;
  while (ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    ok = zipWriteInFileInZip(zip, buffer, static_cast<unsigned>(n)) == ZIP_OK;
  }
  zipCloseFileInZip(zip);
  std::fclose(in);
  return ok;
}

// Packs the dump, the report file and the logs: every regular file of the folder that is not a zip archive.
void PackFolder() {
  zipFile zip = zipOpen64(g_config->zip_path.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) return;
  if (DIR* dir = ::opendir(g_config->folder.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name == "." || name == ".." || strcasestr(name.c_str(), ".zip") != nullptr) continue;
      if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) continue;
      AddFileToZip(zip, g_config->folder, name);
    }
    ::closedir(dir);
  }
  zipClose(zip, nullptr);
}

void OnCrash(int signal_number, siginfo_t* info, void*) {
  if (g_in_handler == 0 && g_config != nullptr) {
    g_in_handler = 1;
    // Packing the report allocates; after heap corruption that may never return. The alarm's default action
    // ends the process then, so the host never waits on a hung helper.
    ::alarm(kReportSeconds);
    WriteDump(signal_number, info);
    if (g_config->report != nullptr) g_config->report(g_config->folder);
    PackFolder();
    if (g_config->cleanup != nullptr) g_config->cleanup(g_config->dump_path);
  }
  // The handler was installed with SA_RESETHAND: raising again ends the process with the original signal.
  ::raise(signal_number);
}

}  // namespace

void BASDbgReport::RegisterCrashFilter(const std::string& dump_path, CleanupCallback cleanup, ReportCallback report) {
  auto* config = new CrashConfig();
  config->dump_path = dump_path;
  size_t slash = dump_path.find_last_of('/');
  config->folder = slash == std::string::npos ? "./" : dump_path.substr(0, slash + 1);
  std::string stem = dump_path;
  if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".dmp") == 0) stem.resize(stem.size() - 4);
  config->zip_path = stem + ".zip";
  config->cleanup = cleanup;
  config->report = report;
  g_config = config;

  // An alternate stack lets the handler run after a stack overflow. The handler packs files and formats the
  // report, so it gets a generous stack of its own, with a guard page below it: running past its end must fault,
  // not overwrite whatever lies next to it.
  void* memory = ::mmap(nullptr, kAlternateStackSize + kGuardSize, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (memory != MAP_FAILED) {
    ::mprotect(memory, kGuardSize, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(memory) + kGuardSize;
    stack.ss_size = kAlternateStackSize;
    ::sigaltstack(&stack, nullptr);
  }

  struct sigaction action {};
  action.sa_sigaction = OnCrash;
  action.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kSignals) ::sigaction(signal_number, &action, nullptr);
}

}  // namespace bas
