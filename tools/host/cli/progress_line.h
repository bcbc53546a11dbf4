// The one updating progress line corvane-host draws on a terminal for long commands: label, bar, percent, and for
// byte counts the amounts, rate and time left. FormatProgressLine is the pure layout; ProgressLine keeps the item
// in progress and writes it with "\r" and erase-line, so each update replaces the last. Other output on the same
// terminal hides the line first and shows it again after.
//
// Thread-compatible: one thread uses a ProgressLine.
#ifndef CORVANE_TOOLS_HOST_CLI_PROGRESS_LINE_H_
#define CORVANE_TOOLS_HOST_CLI_PROGRESS_LINE_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "progress_shape.h"

namespace corvane_host {

struct ProgressView {
  ProgressReading reading;
  std::optional<double> rate;             // units per second
  std::optional<int64_t> seconds_left;
};

// The line for `view`, at most `width` characters, without "\r" or a newline.
std::string FormatProgressLine(const ProgressView& view, size_t width);

// `text` with control bytes (which could move the cursor or recolour a terminal) replaced by "?". Labels and device
// names come from the device.
std::string PrintableText(std::string_view text);

// "1.5 MiB" style.
std::string ByteCountText(int64_t bytes);

class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;

  // Draws on `out`, `width` characters wide.
  ProgressLine(FILE* out, size_t width) : out_(out), width_(width) {}

  // A new reading of task `task`. A reading of another task or item ends the line in progress (it stays on the
  // terminal as it was) and starts a new one.
  void Update(uint64_t task, const ProgressReading& reading, Clock::time_point now);
  // The task's final report arrived: on success the line is drawn complete; either way it is ended.
  void Finish(uint64_t task, bool succeeded, Clock::time_point now);
  // Erases the line before other text goes to the same terminal; Show() draws it again.
  void Hide();
  void Show();

 private:
  struct Item {
    uint64_t task = 0;
    ProgressReading reading;
    Clock::time_point started;
    int64_t started_done = 0;
    ProgressView view;
  };
  void Draw();
  void End();

  FILE* out_;
  size_t width_;
  std::optional<Item> item_;
  bool shown_ = false;
};

}  // namespace corvane_host

#endif  // CORVANE_TOOLS_HOST_CLI_PROGRESS_LINE_H_
