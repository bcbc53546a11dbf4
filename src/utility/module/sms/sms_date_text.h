// Date texts of message dates, as the host shows them.
//
// Message databases count dates from 2001-01-01 00:00:00 UTC, in seconds in older databases and in nanoseconds in
// newer ones; nothing in the database says which. A date is shown in the PC's local time (the TZ of the process)
// as "YYYY-MM-DD HH:MM:SS". A date of 0 has no text; a negative date is shown as the reference instant.
//
// Thread safety: pure (it uses the reentrant local-time conversion).
#pragma once

#include <cstdint>
#include <string>

std::string SmsDateText(int64_t date);
