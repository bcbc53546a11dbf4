#include "platform/elevation.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace

bool LaunchElevated(const std::string& program, const std::vector<std::string>& arguments,
                    std::function<void(int status)> on_exit) {
  std::string launcher = GetEnvironment("CORVANE_ELEVATE");
  if (launcher.empty()) {
    if (!OnPath(kDefaultLauncher)) return false;
    launcher = kDefaultLauncher;
  }
  std::vector<std::string> words;
  if (launcher != "none") words.push_back(launcher);
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  std::thread([pid, on_exit = std::move(on_exit)] {
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (on_exit) on_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  }).detach();
  return true;
}

}  // namespace platform
