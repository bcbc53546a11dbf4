#include "report_printer.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "host_run.h"
#include "report_format.h"

namespace corvane_host {
namespace {

constexpr size_t kDefaultWidth = 80;

ReportPrinter* g_printer = nullptr;  // the printer whose line Complain() erases

size_t TerminalWidth(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
  return kDefaultWidth;
}

}  // namespace

ReportPrinter::ReportPrinter(const PrinterOptions& options) : options_(options) {
  if (!options_.save_dir.empty()) saver_ = std::make_unique<FileSaver>(options_.save_dir);
  progress_on_stdout_ = isatty(STDOUT_FILENO) == 1;
  if (progress_on_stdout_ || options_.force_progress) {
    int fd = progress_on_stdout_ ? STDOUT_FILENO : STDERR_FILENO;
    // One column short of the width, so that the cursor never wraps to the next line.
    progress_ = std::make_unique<ProgressLine>(progress_on_stdout_ ? stdout : stderr, TerminalWidth(fd) - 1);
  }
  g_printer = this;
  SetBeforeComplain([] {
    if (g_printer != nullptr) g_printer->HideProgress();
  });
}

ReportPrinter::~ReportPrinter() {
  SetBeforeComplain(nullptr);
  g_printer = nullptr;
}

void ReportPrinter::CommandSent(uint64_t task, uint32_t packet_type, const std::string& json) {
  Sent& sent = sent_[task];
  sent.command = FindCommand(packet_type);
  sent.packet_type = packet_type;
  sent.json.Parse(json.data(), json.size());
}

void ReportPrinter::HideProgress() {
  if (progress_) progress_->Hide();
}

bool ReportPrinter::ShowProgress(const Sent& sent, const hostlink::Report& report) {
  if (!progress_ || sent.command == nullptr || sent.command->progress == nullptr) return false;
  auto now = ProgressLine::Clock::now();
  if (report.is_final()) {
    bool succeeded = report.header_code == hostlink::kCodeSuccess || report.header_code == hostlink::kCodeList;
    progress_->Finish(report.task_id, succeeded && report.code == 0, now);
    return false;
  }
  std::optional<ProgressReading> reading = ReadProgress(*sent.command->progress, report, sent.json_or_null());
  if (!reading) return false;
  progress_->Update(report.task_id, *reading, now);
  return true;
}

void ReportPrinter::Print(const hostlink::Report& report) {
  auto it = sent_.find(report.task_id);
  bool ours = it != sent_.end() && it->second.packet_type == report.packet_type;
  SaveOutcome saved;
  bool progress_shown = false;
  if (ours) {
    const Sent& sent = it->second;
    if (saver_ && sent.command != nullptr) {
      saved = saver_->Take(report.task_id, sent.command->save, report, sent.json_or_null());
    }
    progress_shown = ShowProgress(sent, report);
  }
  if (!saved.error.empty()) Complain("--save: " + saved.error);
  if (!progress_shown || !progress_on_stdout_) {
    HideProgress();
    std::string text = FormatReport(report, options_.pretty, saved.path);
    text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (progress_) progress_->Show();
  }
  if (ours && report.is_final()) sent_.erase(it);
}

}  // namespace corvane_host
