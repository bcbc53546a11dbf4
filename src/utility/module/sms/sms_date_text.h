// Date texts of message dates, as the host shows them.
//
// A message date is a reference date (seconds or nanoseconds since 2001, see utility/date_text.h) shown in the PC's
// local time as "YYYY-MM-DD HH:MM:SS". A date of 0 has no text; a negative date is shown as the reference instant.
//
// Thread safety: pure (it uses the reentrant local-time conversion).
#pragma once

#include <cstdint>
#include <string>

std::string SmsDateText(int64_t date);
