#include "progress_line.h"

#include <cinttypes>

namespace corvane_host {
namespace {

// The bar is narrower on a terminal of the usual 80 columns, so that the item's name still fits beside it.
constexpr size_t kBarWidth = 20;
constexpr size_t kNarrowBarWidth = 12;
constexpr size_t kWideTerminal = 100;
constexpr size_t kShortestLabel = 8;
// A rate measured over less time than this swings too much to be worth showing.
constexpr std::chrono::milliseconds kRateAfter(250);

std::string DurationText(int64_t seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64, seconds / 60, seconds % 60);
  }
  return text;
}

}  // namespace

std::string PrintableText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
  }
  return out;
}

std::string ByteCountText(int64_t bytes) {
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%" PRId64 " B", bytes);
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  }
  return text;
}

std::string FormatProgressLine(const ProgressView& view, size_t width) {
  const ProgressReading& r = view.reading;
  int64_t percent = r.total > 0 ? r.done * 100 / r.total : 0;
  size_t bar_width = width >= kWideTerminal ? kBarWidth : kNarrowBarWidth;
  size_t filled = r.total > 0 ? static_cast<size_t>(r.done * static_cast<int64_t>(bar_width) / r.total) : 0;
  std::string bar = "[" + std::string(filled, '#') + std::string(bar_width - filled, '-') + "]";
  std::string tail = std::to_string(percent) + "%";
  if (r.unit == ProgressUnit::kBytes) {
    tail += "  " + ByteCountText(r.done) + "/" + ByteCountText(r.total);
    if (view.rate) tail += "  " + ByteCountText(static_cast<int64_t>(*view.rate)) + "/s";
  }
  if (view.seconds_left && r.done < r.total) tail += "  " + DurationText(*view.seconds_left) + " left";

  std::string line = bar + "  " + tail;
  if (line.size() > width) line = tail;
  // A label cut to a few characters says nothing; it is left out instead.
  if (r.label.empty() || line.size() + 2 + kShortestLabel > width) return line.substr(0, width);
  size_t room = width - line.size() - 2;
  std::string label = PrintableText(r.label);
  if (label.size() > room) label = "..." + label.substr(label.size() - (room - 3));
  return label + "  " + line;
}

void ProgressLine::Update(uint64_t task, const ProgressReading& reading, Clock::time_point now) {
  if (item_ && (item_->task != task || item_->reading.label != reading.label)) End();
  if (!item_) item_ = Item{task, reading, now, reading.done, {}};
  Item& item = *item_;
  item.reading = reading;
  item.view = ProgressView{reading, std::nullopt, std::nullopt};
  auto elapsed = std::chrono::duration<double>(now - item.started);
  int64_t moved = reading.done - item.started_done;
  // A finished item shows its rate however short it took.
  bool complete = reading.done == reading.total && elapsed.count() > 0;
  if ((elapsed >= kRateAfter || complete) && moved > 0) {
    double rate = static_cast<double>(moved) / elapsed.count();
    if (reading.unit == ProgressUnit::kBytes) item.view.rate = rate;
    item.view.seconds_left = static_cast<int64_t>(static_cast<double>(reading.total - reading.done) / rate + 0.5);
  }
  Draw();
}

void ProgressLine::Finish(uint64_t task, bool succeeded, Clock::time_point now) {
  if (!item_ || item_->task != task) return;
  if (succeeded && item_->reading.done < item_->reading.total) {
    ProgressReading complete = item_->reading;
    complete.done = complete.total;
    Update(task, complete, now);
  }
  End();
}

void ProgressLine::Hide() {
  if (!shown_) return;
  std::fputs("\r\033[K", out_);
  std::fflush(out_);
  shown_ = false;
}

void ProgressLine::Show() {
  if (item_ && !shown_) Draw();
}

void ProgressLine::Draw() {
  std::string line = "\r\033[K" + FormatProgressLine(item_->view, width_);
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
  shown_ = true;
}

void ProgressLine::End() {
  if (!shown_ && item_) Draw();
  std::fputc('\n', out_);
  std::fflush(out_);
  shown_ = false;
  item_.reset();
}

}  // namespace corvane_host
