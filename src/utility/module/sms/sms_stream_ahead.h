// The messages stream with its reading done ahead, on a thread of its own.
//
// Sending a report (compressing it and writing it to the host) costs about twice what reading and writing out its
// message does, so the reading runs on a helper thread, at most a bounded number of reports ahead of the sink,
// while the calling thread sends. The sink sees exactly what StreamSmsDatabase (sms_stream.h) would give it, in
// the same order; memory stays bounded by the queue (twice `capacity` reports at most).
//
// Thread safety: the sink is called on the calling thread only; the database is read on the helper thread only.
#pragma once

#include <cstddef>
#include <string>

#include "utility/module/sms/sms_stream.h"

constexpr size_t kSmsReportsAhead = 1024;

// As StreamSmsDatabase. When the sink stops the stream, the reading is stopped too before this returns.
int StreamSmsDatabaseAhead(const std::string& path, SmsReportSink* sink, size_t capacity = kSmsReportsAhead);
