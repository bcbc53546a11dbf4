// Where corvane-host's view of the reports goes: every report as one JSON line on stdout; with --save, the data
// parts that are files for people written to the folder (the line then names the file); and, on a terminal or
// with --progress, one updating progress line drawn from the progress reports of the commands that have them.
// On a terminal the progress line stands in for those reports' JSON lines; in a file or a pipe every JSON line
// is written unchanged and the line, when asked for, goes to stderr.
//
// Thread-compatible: the run's one thread uses it. While it exists, messages written with Complain() first erase
// a visible progress line.
#ifndef CORVANE_TOOLS_HOST_CLI_REPORT_PRINTER_H_
#define CORVANE_TOOLS_HOST_CLI_REPORT_PRINTER_H_

#include <rapidjson/document.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "command_list.h"
#include "file_saver.h"
#include "hostlink/report.h"
#include "progress_line.h"

namespace corvane_host {

struct PrinterOptions {
  bool pretty = false;
  std::string save_dir;     // empty: nothing is saved
  bool force_progress = false;  // draw the progress line on stderr when stdout is not a terminal
};

class ReportPrinter {
 public:
  explicit ReportPrinter(const PrinterOptions& options);
  ~ReportPrinter();
  ReportPrinter(const ReportPrinter&) = delete;
  ReportPrinter& operator=(const ReportPrinter&) = delete;

  // A command went out as task `task`: its reports are read with its row of the command list.
  void CommandSent(uint64_t task, uint32_t packet_type, const std::string& json);
  void Print(const hostlink::Report& report);
  // Erases the progress line before other text is written to the terminal.
  void HideProgress();

 private:
  struct Sent {
    const CommandInfo* command = nullptr;
    uint32_t packet_type = 0;
    rapidjson::Document json;  // not an object when the text did not parse
    const rapidjson::Value* json_or_null() const { return json.IsObject() ? &json : nullptr; }
  };
  // Draws the report into the progress line; true when it was a progress report.
  bool ShowProgress(const Sent& sent, const hostlink::Report& report);

  PrinterOptions options_;
  std::unique_ptr<FileSaver> saver_;
  std::unique_ptr<ProgressLine> progress_;
  bool progress_on_stdout_ = false;
  std::map<uint64_t, Sent> sent_;
};

}  // namespace corvane_host

#endif  // CORVANE_TOOLS_HOST_CLI_REPORT_PRINTER_H_
