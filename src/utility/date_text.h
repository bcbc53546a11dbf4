// Date texts as the host shows them: "YYYY-MM-DD HH:MM:SS" in the PC's local time (the TZ of the process).
//
// Reference dates are what device databases and property lists hold: a count from 2001-01-01 00:00:00 UTC, in
// seconds, or in nanoseconds in newer databases, with nothing to tell which. A count is read as seconds first;
// when that gives no date the text has room for (a year past 9999, which any nanosecond count later than about
// four minutes past the reference instant gives), it is read as nanoseconds. A negative count is the reference
// instant. Whether 0 means "no date" is the caller's rule.
//
// UTC times are the texts sync records and recording manifests hold, "YYYY-MM-DDTHH:MM:SSZ" exactly.
//
// libbasic's Convert2001GMTtoDate formats seconds only and takes no nanosecond counts; these are the helpers the
// modules use.
//
// Thread safety: pure (reentrant time conversions; the local zone is read from the process's TZ).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The local date text of a reference date; empty when neither reading gives a date.
std::string ReferenceDateText(int64_t count);

// True when the whole text has the form "YYYY-MM-DDTHH:MM:SSZ".
bool IsUtcTimeText(std::string_view text);
// The local date text of such a UTC time; empty when the text is not one or names no valid moment (month 13,
// hour 24, ...).
std::string UtcTimeToLocalText(std::string_view text);
