#include "platform/elevation.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/platform.h"

extern char** environ;

namespace platform {
namespace {

constexpr const char* kDefaultLauncher = "pkexec";

bool OnPath(const std::string& name) {
  std::stringstream path(GetEnvironment("PATH"));
  std::string folder;
  while (std::getline(path, folder, ':')) {
    if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Starts the program through the launcher CORVANE_ELEVATE names; without one, through pkexec when it is installed,
// else (only when `direct_without_launcher`) as it is.
bool SpawnElevated(const std::string& program, const std::vector<std::string>& arguments, bool direct_without_launcher,
                   pid_t* pid) {
  std::string launcher = GetEnvironment("CORVANE_ELEVATE");
  if (launcher.empty()) {
    if (OnPath(kDefaultLauncher)) {
      launcher = kDefaultLauncher;
    } else if (direct_without_launcher) {
      launcher = "none";
    } else {
      return false;
    }
  }
  std::vector<std::string> words;
  if (launcher != "none") words.push_back(launcher);
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return ::posix_spawnp(pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
}

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

bool LaunchElevated(const std::string& program, const std::vector<std::string>& arguments,
                    std::function<void(int status)> on_exit) {
  pid_t pid = 0;
  if (!SpawnElevated(program, arguments, /*direct_without_launcher=*/false, &pid)) return false;
  std::thread([pid, on_exit = std::move(on_exit)] {
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (on_exit) on_exit(ExitStatus(status));
  }).detach();
  return true;
}

bool RunElevated(const std::vector<std::string>& arguments, int* exit_code) {
  if (arguments.empty()) return false;
  pid_t pid = 0;
  std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (!SpawnElevated(arguments[0], rest, /*direct_without_launcher=*/true, &pid)) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  *exit_code = ExitStatus(status);
  return true;
}

}  // namespace platform
