// How to read a command's progress reports: a declarative shape per command (a row of the command list) that says
// where a report carries the amount done, the total and the label of the item in progress.
//
// Amounts are short expressions: terms joined by "+", each a whole number, "code" (the report's code), "info.K"
// (a member of the report's info object) or "command.K.L..." (a member of the command JSON the host sent), so the
// shapes of today's and later commands are rows, not code:
//   702 streaming     done "info.offset+info.offset_length", total "info.size"
//   703 upload        done "info.offset" (the next block asked for), total "command.info.size"
//   504 install       done "info.percent", total "100"
//   backup, restore   stage 1, done "code", total "10000"
//   driver download   done "info.step", total "info.total", label "package {info.index} of {info.count}"
// A report that lacks a term of "done" or "total" is not a progress report. Labels are text with "{PATH}"
// placeholders of the same paths. Pure functions.
#ifndef CORVANE_TOOLS_HOST_CLI_PROGRESS_SHAPE_H_
#define CORVANE_TOOLS_HOST_CLI_PROGRESS_SHAPE_H_

#include <rapidjson/document.h>

#include <cstdint>
#include <optional>
#include <string>

#include "hostlink/report.h"

namespace corvane_host {

enum class ProgressUnit { kBytes, kPercent };

struct ProgressShape {
  const char* done;
  const char* total;
  ProgressUnit unit = ProgressUnit::kPercent;
  const char* label = "";  // placeholders {PATH}; empty: no label
  int stage = -1;          // only reports of this stage; -1: any non-final report
};

struct ProgressReading {
  int64_t done = 0;
  int64_t total = 0;
  ProgressUnit unit = ProgressUnit::kPercent;
  std::string label;
};

// Reads `report` (sent for `command`, which may be null when the command JSON did not parse) as a progress
// report of `shape`. nullopt when it is not one: a final report, another stage, a missing amount, a total of 0 or
// less, or a done amount below zero. A done amount above the total is capped to it.
std::optional<ProgressReading> ReadProgress(const ProgressShape& shape, const hostlink::Report& report,
                                            const rapidjson::Value* command);

}  // namespace corvane_host

#endif  // CORVANE_TOOLS_HOST_CLI_PROGRESS_SHAPE_H_
