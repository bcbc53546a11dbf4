// The `session` command of corvane-host: commands from stdin, reports printed as they arrive.
#include <poll.h>
#include <unistd.h>

#include <charconv>
#include <thread>

#include "host_run.h"

namespace corvane_host {
namespace {

using std::chrono::milliseconds;

bool ParseCount(std::string_view text, int64_t* out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size() && *out >= 0;
}

// Splits "word rest" at the first run of blanks.
std::pair<std::string, std::string> SplitFirst(const std::string& line) {
  size_t b = line.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = line.find_first_of(" \t", b);
  if (e == std::string::npos) return {line.substr(b), ""};
  size_t r = line.find_first_not_of(" \t", e);
  return {line.substr(b, e - b), r == std::string::npos ? "" : line.substr(r)};
}

}  // namespace

int HostRun::Session() {
  int exit_code = kExitOk;
  std::string input;
  bool input_ended = false;
  bool told_closed = false;
  bool told_ended = false;
  bool quit = false;
  while (!quit) {
    for (size_t nl; !quit && (nl = input.find('\n')) != std::string::npos;) {
      std::string line = input.substr(0, nl);
      input.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!SessionLine(line, &quit)) exit_code = kExitFailure;
    }
    if (quit || input_ended) break;

    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {connection_->fd(), POLLIN, 0}};
    bool watch_link = !connection_->peer_closed() && connection_->fd() >= 0;
    poll(fds, watch_link ? 2 : 1, 200);
    PrintArrived();
    if (connection_->peer_closed() && !told_closed) {
      Complain("Corvane closed the connection");
      told_closed = true;
    }
    if (!corvane_.IsRunning() && !told_ended) {
      Complain("Corvane has ended");
      told_ended = true;
    }
    if (fds[0].revents != 0) {
      char buffer[4096];
      ssize_t got = read(STDIN_FILENO, buffer, sizeof(buffer));
      if (got > 0) {
        input.append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        input_ended = true;
        input.push_back('\n');  // a last line without a newline still counts
      }
    }
    if (StopRequested()) break;
  }
  return exit_code;
}

bool HostRun::SessionLine(const std::string& line, bool* quit) {
  auto [command, rest] = SplitFirst(line);
  if (command.empty() || command[0] == '#') return true;
  if (command == "quit") {
    *quit = true;
    return true;
  }
  if (command == "send") {
    corvane_host::SendRequest request;
    std::string error;
    uint64_t task_id = 0;
    if (!ParseSendLine(rest, &request, &error)) {
      Complain(error);
      return false;
    }
    if (!SendRequest(request, &task_id)) return false;
    Complain("sent packet type " + std::to_string(request.packet_type) + " as task " + std::to_string(task_id));
    return true;
  }
  if (command == "wait") {
    int64_t seconds = options_.timeout_seconds;
    if (!rest.empty() && !ParseCount(rest, &seconds)) {
      Complain("usage: wait [SECONDS]");
      return false;
    }
    if (last_task_id_ == 0) {
      Complain("wait: no command has been sent");
      return false;
    }
    hostlink::Report final_report;
    return WaitForFinal(last_task_id_, last_packet_type_, std::chrono::seconds(seconds), &final_report);
  }
  if (command == "wait-type") {
    auto [type_text, seconds_text] = SplitFirst(rest);
    int64_t type = 0;
    int64_t seconds = options_.timeout_seconds;
    if (!ParseCount(type_text, &type) || (!seconds_text.empty() && !ParseCount(seconds_text, &seconds))) {
      Complain("usage: wait-type TYPE [SECONDS]");
      return false;
    }
    hostlink::Report found;
    WaitEnd end = WaitPrinting(hostlink::OfType(static_cast<uint32_t>(type)), std::chrono::seconds(seconds), &found);
    if (end == WaitEnd::kMatched) return true;
    ReportWaitEnd(end, "a report of type " + type_text);
    return false;
  }
  if (command == "sleep") {
    int64_t ms = 0;
    if (!ParseCount(rest, &ms)) {
      Complain("usage: sleep MS");
      return false;
    }
    auto deadline = std::chrono::steady_clock::now() + milliseconds(ms);
    hostlink::Report unused;
    WaitEnd end = WaitPrinting([](const hostlink::Report&) { return false; }, milliseconds(ms), &unused);
    // Without a connection there is nothing to print, but the pause still lasts as long as asked.
    while (end == WaitEnd::kClosed && !StopRequested() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::min(milliseconds(100), std::chrono::duration_cast<milliseconds>(
                                                                  deadline - std::chrono::steady_clock::now())));
    }
    return !StopRequested();
  }
  if (command == "sim") {
    if (!simulator_) {
      Complain("sim: no simulator was started (use --simulator PROFILE_DIR)");
      return false;
    }
    if (!simulator_->Command(rest)) {
      Complain("sim: " + simulator_->last_error());
      return false;
    }
    return true;
  }
  Complain("unknown session command \"" + command + "\"");
  return false;
}

}  // namespace corvane_host
