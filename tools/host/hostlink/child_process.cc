#include "hostlink/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "hostlink/posix_util_internal.h"

extern char** environ;

namespace hostlink {
namespace {

// The host's environment with `overrides` applied, as "NAME=value" strings.
std::vector<std::string> MergedEnvironment(const EnvVars& overrides) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const char* eq = std::strchr(*entry, '=');
    if (eq != nullptr) merged[std::string(*entry, static_cast<size_t>(eq - *entry))] = eq + 1;
  }
  for (const auto& [name, value] : overrides) merged[name] = value;
  std::vector<std::string> out;
  for (const auto& [name, value] : merged) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> PointersTo(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

ExitStatus FromWaitStatus(int status) {
  ExitStatus out;
  if (WIFEXITED(status)) out.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) out.signal = WTERMSIG(status);
  return out;
}

// A socket pair rather than a pipe, so that writing to a child that has gone fails with an error instead of
// raising SIGPIPE in the host (send with MSG_NOSIGNAL).
bool MakeChannel(int fds[2], std::string* error) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) return true;
  *error = internal::ErrnoText("socketpair");
  return false;
}

}  // namespace

std::string ProgramBesideSelf(std::string_view name) {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  std::filesystem::path dir = ec ? std::filesystem::current_path(ec) : self.parent_path();
  std::filesystem::path beside = dir / name;
  std::filesystem::path in_bin = dir.parent_path() / "bin" / name;
  if (!std::filesystem::exists(beside, ec) && std::filesystem::exists(in_bin, ec)) return in_bin.string();
  return beside.string();
}

ChildProcess::~ChildProcess() {
  Stop();
  CloseChannels();
}

bool ChildProcess::Spawn(const SpawnOptions& options) {
  if (pid_ > 0 && IsRunning()) {
    last_error_ = "a child is already running";
    return false;
  }
  CloseChannels();
  pid_ = -1;
  status_.reset();

  int in_pair[2] = {-1, -1};
  int out_pair[2] = {-1, -1};
  if ((options.stdin_channel && !MakeChannel(in_pair, &last_error_)) ||
      (options.stdout_channel && !MakeChannel(out_pair, &last_error_))) {
    for (int fd : {in_pair[0], in_pair[1], out_pair[0], out_pair[1]}) {
      if (fd >= 0) close(fd);
    }
    return false;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.stdin_channel) posix_spawn_file_actions_adddup2(&actions, in_pair[1], STDIN_FILENO);
  if (options.stdout_channel) {
    posix_spawn_file_actions_adddup2(&actions, out_pair[1], STDOUT_FILENO);
  } else if (options.stdout_to_stderr) {
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
  } else if (!options.stdout_path.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.stdout_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (!options.stderr_path.empty()) {
    if (options.stderr_path == options.stdout_path && !options.stdout_channel) {
      posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.stderr_path.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
  }

  std::vector<std::string> argv_strings{options.program};
  argv_strings.insert(argv_strings.end(), options.args.begin(), options.args.end());
  std::vector<std::string> env_strings = MergedEnvironment(options.env);
  std::vector<char*> argv = PointersTo(argv_strings);
  std::vector<char*> envp = PointersTo(env_strings);

  pid_t pid = -1;
  int rc = posix_spawn(&pid, options.program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  // The child's ends now live in the child only.
  if (in_pair[1] >= 0) close(in_pair[1]);
  if (out_pair[1] >= 0) close(out_pair[1]);
  stdin_fd_ = in_pair[0];
  stdout_fd_ = out_pair[0];
  if (rc != 0) {
    last_error_ = "cannot start " + options.program + ": " + std::strerror(rc);
    CloseChannels();
    return false;
  }
  pid_ = pid;
  return true;
}

bool ChildProcess::IsRunning() {
  if (pid_ <= 0 || status_) return false;
  int status = 0;
  pid_t got = waitpid(pid_, &status, WNOHANG);
  if (got == pid_) {
    status_ = FromWaitStatus(status);
    return false;
  }
  return got == 0;
}

std::optional<ExitStatus> ChildProcess::WaitExit(std::chrono::milliseconds timeout) {
  auto deadline = internal::Clock::now() + timeout;
  auto pause = std::chrono::milliseconds(1);
  while (IsRunning()) {
    if (internal::Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  return status_;
}

bool ChildProcess::Kill(int signal) {
  if (!IsRunning()) return false;
  return kill(pid_, signal) == 0;
}

std::optional<ExitStatus> ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return std::nullopt;
  if (Kill(SIGTERM)) {
    if (auto status = WaitExit(grace)) return status;
    Kill(SIGKILL);
  }
  // After SIGKILL the child ends promptly; a bounded wait keeps the destructor from ever hanging.
  return WaitExit(std::chrono::seconds(5));
}

bool ChildProcess::WriteStdin(std::string_view bytes) {
  if (stdin_fd_ < 0) {
    last_error_ = "the child has no stdin channel";
    return false;
  }
  while (!bytes.empty()) {
    ssize_t sent = send(stdin_fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) {
      last_error_ = internal::ErrnoText("write to the child's stdin");
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

void ChildProcess::CloseStdin() {
  if (stdin_fd_ >= 0) close(stdin_fd_);
  stdin_fd_ = -1;
}

void ChildProcess::CloseChannels() {
  CloseStdin();
  if (stdout_fd_ >= 0) close(stdout_fd_);
  stdout_fd_ = -1;
}

}  // namespace hostlink
