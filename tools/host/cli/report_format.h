// How corvane-host shows a report: one JSON object per report with the header fields, stage, code, uuid, type,
// info (as JSON) and the data part, which appears as its JSON value when it is UTF-8 JSON text and otherwise as
// {"size":N,"sha1":"..."}; with --save, also the local file the data went to. Compact (one line) for scripts,
// indented for people. Pure functions.
#ifndef CORVANE_TOOLS_HOST_CLI_REPORT_FORMAT_H_
#define CORVANE_TOOLS_HOST_CLI_REPORT_FORMAT_H_

#include <string>
#include <string_view>

#include "hostlink/report.h"

namespace corvane_host {

// The report as JSON text, without a trailing newline. A non-empty `saved` is added as the member "saved": the
// local file the report's data went to.
std::string FormatReport(const hostlink::Report& report, bool pretty, std::string_view saved = {});

// Lower-case hexadecimal SHA-1 of `bytes`.
std::string Sha1Hex(std::string_view bytes);

}  // namespace corvane_host

#endif  // CORVANE_TOOLS_HOST_CLI_REPORT_FORMAT_H_
