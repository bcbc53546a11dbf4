#include "platform/sync_redirector.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>

extern char** environ;

namespace platform {
namespace {

constexpr size_t kPieceSize = 255;
constexpr int kPollMs = 100;

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

std::vector<std::string> SyncRedirector::SplitCommandLine(const std::string& command_line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false, quoted = false;
  for (char c : command_line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

void SyncRedirector::ReportError(const std::string& text) {
  if (on_error_) on_error_(text);
}

bool SyncRedirector::Run(const std::string& command_line, std::string* output, int* exit_code) {
  output->clear();
  *exit_code = -1;
  std::vector<std::string> words = SplitCommandLine(command_line);
  int out_pipe[2] = {-1, -1}, in_pipe[2] = {-1, -1};
  auto fail = [&](int error) {
    char text[64];
    std::snprintf(text, sizeof text, "Redirect console error: %x\r\n", static_cast<unsigned>(error));
    for (int fd : {out_pipe[0], out_pipe[1], in_pipe[0], in_pipe[1]}) {
      if (fd >= 0) ::close(fd);
    }
    ReportError(text);
    errno = error;
    return false;
  };
  if (words.empty()) return fail(EINVAL);
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(in_pipe, O_CLOEXEC) != 0) return fail(errno);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDERR_FILENO);
  // The child gets none of this process's other descriptors, and starts with the usual signal dispositions and
  // nothing blocked (the helper blocks its stop signals for its own handler thread and ignores SIGPIPE).
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal_number);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = -1;
  int spawn_error = ::posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawn_error != 0) return fail(spawn_error);

  // The child holds its own ends now. Closing our input end gives it end-of-file at once, so a tool that reads
  // its input cannot wait for ever.
  ::close(out_pipe[1]);
  ::close(in_pipe[0]);
  ::close(in_pipe[1]);
  int reader_fd = out_pipe[0];

  int status = 0;
  std::thread reader([&] {
    char piece[kPieceSize + 1];
    bool child_ended = false;
    for (;;) {
      pollfd wait{reader_fd, POLLIN, 0};
      int ready = ::poll(&wait, 1, kPollMs);
      if (ready > 0) {
        ssize_t n = ::read(reader_fd, piece, kPieceSize);
        if (n > 0) {
          output->append(piece, static_cast<size_t>(n));
          continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && !child_ended) continue;
        if (n < 0 && errno != EAGAIN) ReportError("Read stdout pipe error\r\n");
        break;  // end of file (every writer has closed), or drained after the child's end
      }
      if (child_ended) break;  // drained once after the child's end
      if (::waitpid(child, &status, WNOHANG) == child) {
        child_ended = true;
        ::fcntl(reader_fd, F_SETFL, O_NONBLOCK);
      }
    }
  });
  reader.join();
  ::close(reader_fd);
  if (::waitpid(child, &status, 0) < 0 && errno != ECHILD) return false;
  *exit_code = ExitCodeOf(status);
  return true;
}

}  // namespace platform
