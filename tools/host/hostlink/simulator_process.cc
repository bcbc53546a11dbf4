#include "hostlink/simulator_process.h"

#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace hostlink {
namespace {

constexpr std::string_view kAddressPrefix = "USBMUXD_SOCKET_ADDRESS=";

}  // namespace

SimulatorProcess::~SimulatorProcess() {
  Quit();
  StopReader();
  if (!temp_dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(temp_dir_, ec);
  }
}

bool SimulatorProcess::Start(const SimulatorOptions& options, std::chrono::milliseconds timeout) {
  std::string socket_path = options.socket_path;
  if (socket_path.empty()) {
    if (temp_dir_.empty()) {
      std::string pattern = (std::filesystem::temp_directory_path() / "corvane-sim-XXXXXX").string();
      if (mkdtemp(pattern.data()) == nullptr) {
        last_error_ = "cannot make a temporary folder for the simulator socket";
        return false;
      }
      temp_dir_ = pattern;
    }
    socket_path = temp_dir_ + "/usbmuxd.sock";
  }

  SpawnOptions spawn;
  spawn.program = options.program.empty() ? ProgramBesideSelf("corvane-devicesim") : options.program;
  spawn.args = {"--socket", socket_path};
  for (const auto& profile : options.profiles) {
    spawn.args.push_back("--profile");
    spawn.args.push_back(profile);
  }
  if (options.detached) spawn.args.push_back("--detached");
  spawn.args.insert(spawn.args.end(), options.extra_args.begin(), options.extra_args.end());
  spawn.stderr_path = options.stderr_path;
  spawn.stdin_channel = true;
  spawn.stdout_channel = true;

  StopReader();
  {
    std::lock_guard<std::mutex> lock(mu_);
    lines_.clear();
    next_line_ = 0;
    output_ended_ = false;
  }
  if (!Spawn(spawn)) return false;
  stop_reader_ = false;
  reader_ = std::thread([this] { ReadOutput(); });

  std::optional<std::string> line = WaitForOutput(kAddressPrefix, timeout);
  if (!line) {
    bool output_ended = false;
    {
      std::lock_guard<std::mutex> lock(mu_);
      output_ended = output_ended_;
    }
    // A program's output closes a moment before the program can be reaped; give it that moment.
    if (output_ended) WaitExit(std::chrono::seconds(1));
    last_error_ = IsRunning() ? "the simulator printed no " + std::string(kAddressPrefix) + " line within " +
                                    std::to_string(timeout.count()) + " ms"
                              : "the simulator ended before it listened";
    Stop();
    return false;
  }
  socket_address_ = line->substr(kAddressPrefix.size());
  return true;
}

bool SimulatorProcess::Command(std::string_view line) {
  std::string text(line);
  text.push_back('\n');
  return WriteStdin(text);
}

std::optional<std::string> SimulatorProcess::WaitForOutput(std::string_view prefix,
                                                           std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mu_);
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (; next_line_ < lines_.size(); ++next_line_) {
      if (std::string_view(lines_[next_line_]).substr(0, prefix.size()) == prefix) return lines_[next_line_++];
    }
    if (output_ended_ || arrived_.wait_until(lock, deadline) == std::cv_status::timeout) {
      // One last look: lines may have come with the wake-up that ended the wait.
      for (; next_line_ < lines_.size(); ++next_line_) {
        if (std::string_view(lines_[next_line_]).substr(0, prefix.size()) == prefix) return lines_[next_line_++];
      }
      return std::nullopt;
    }
  }
}

std::vector<std::string> SimulatorProcess::OutputLines() const {
  std::lock_guard<std::mutex> lock(mu_);
  return lines_;
}

std::optional<ExitStatus> SimulatorProcess::Quit(std::chrono::milliseconds timeout) {
  if (pid() <= 0) return std::nullopt;
  if (IsRunning()) Command("quit");
  CloseStdin();  // end of input also tells the simulator to stop
  if (auto status = WaitExit(timeout)) return status;
  return Stop();
}

void SimulatorProcess::ReadOutput() {
  std::string partial;
  char buffer[4096];
  while (!stop_reader_) {
    pollfd pfd{stdout_fd(), POLLIN, 0};
    int ready = poll(&pfd, 1, 100);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    if (ready < 0) break;
    ssize_t got = read(stdout_fd(), buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    partial.append(buffer, static_cast<size_t>(got));
    std::lock_guard<std::mutex> lock(mu_);
    for (size_t nl; (nl = partial.find('\n')) != std::string::npos; partial.erase(0, nl + 1)) {
      lines_.push_back(partial.substr(0, nl));
    }
    arrived_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mu_);
  if (!partial.empty()) lines_.push_back(partial);
  output_ended_ = true;
  arrived_.notify_all();
}

void SimulatorProcess::StopReader() {
  stop_reader_ = true;
  if (reader_.joinable()) reader_.join();
}

}  // namespace hostlink
