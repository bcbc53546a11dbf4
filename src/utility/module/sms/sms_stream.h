// The messages query streamed to the host: the number of conversations, then each conversation (without its
// messages) followed by each of its messages, newest conversation first, messages in date order.
//
// The stream is the same, report for report and byte for byte, as walking the one-document result (sms_document.h),
// but it does not hold every message at once. A first pass runs the messages statement and keeps one summary per
// conversation (count, last date and snippet, group flag, the chat rows it came from) plus its correspondents.
// The messages are then read again grouped by conversation (sms_reread.h), each ordered by date and row id, and
// sent as they are read. That reproduces the first pass's order within each conversation exactly when the first
// pass met each conversation's messages in order of (date, row id): rows with equal date and row id are the same
// message, so their order cannot show. The first pass checks this; a database where it does not hold (dates that
// differ only below a whole unit, text dates) is streamed from the one-document records instead, which costs
// memory per message but keeps the order.
//
// Thread safety: each call opens its own connection; the sink is called on the calling thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class SmsReportSink {
 public:
  virtual ~SmsReportSink() = default;
  // Each returns false to stop the stream (the task was stopped).
  virtual bool OnCount(size_t conversations) = 0;
  virtual bool OnConversation(std::string_view json) = 0;
  virtual bool OnMessage(std::string_view json) = 0;
  // Nothing more is ready for now: what the sink holds back should go out before the stream waits.
  virtual void OnPause() {}
};

// The stream ended because the sink asked it to.
constexpr int kSmsStopped = -1;

// Streams the database at `path` into `sink`. When the query fails the sink hears a count of 0 and nothing else.
// 0, 19 or 20 (see sms_sqlite.h), or kSmsStopped.
int StreamSmsDatabase(const std::string& path, SmsReportSink* sink);
