#include "tool_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

extern char** environ;

namespace e2e {

ToolRun RunToolWithDeadline(const std::vector<std::string>& argv,
                            const std::vector<std::pair<std::string, std::string>>& env, int timeout_ms) {
  ToolRun run;
  // Everything the child needs is built before fork: after it only async-signal-safe calls are allowed.
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) variables.emplace_back(*entry);
  for (const auto& [name, value] : env) variables.push_back(name + "=" + value);
  std::vector<char*> envp, args;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return run;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(fds[1]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      run.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    pollfd waiter{fds[0], POLLIN, 0};
    if (poll(&waiter, 1, static_cast<int>(left.count())) <= 0) continue;
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    run.output.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!run.timed_out && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  return run;
}

}  // namespace e2e
