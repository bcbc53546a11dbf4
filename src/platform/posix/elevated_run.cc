// Running a program with raised rights: the launcher named by CORVANE_ELEVATE (default pkexec when it is
// installed; "none" starts the program directly), then waiting for it.
#include <spawn.h>
#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/platform.h"

extern char** environ;

namespace platform {
namespace {

bool IsOnPath(const std::string& program) {
  std::string path = GetEnvironment("PATH");
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    std::string folder = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool RunElevated(const std::vector<std::string>& arguments, int* exit_code) {
  if (arguments.empty()) return false;
  std::vector<std::string> command;
  std::string launcher = GetEnvironment("CORVANE_ELEVATE");
  if (launcher.empty() && IsOnPath("pkexec")) launcher = "pkexec";
  if (!launcher.empty() && launcher != "none") command.push_back(launcher);
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (::posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

}  // namespace platform
