// ReportBatch: the reports of one burst, sent to the host in one write instead of one write each.
//
// A command that sends many small reports in a row (a listing: one report per message) adds them here. Each is
// encoded at once, as a whole packet, into one buffer; the buffer goes to the host in one write per connection
// when it reaches kFlushBytes, when the sender calls Flush (at the end of each burst, before it waits for more
// work, so that nothing ready waits with it) and when the batch goes away. The host receives the same packets, in
// the same order, one report per packet; packets of other tasks or events may come between two writes, as they
// could between two reports before. The command's final report is sent by the front door after the handler has
// returned, so after the batch's last write.
//
// Thread safety: a batch belongs to the one thread that sends the burst.
#pragma once

#include <cstddef>
#include <string>

#include "basic/ipc_packet.h"
#include "utility/report_sink.h"
#include "utility/task_report.h"

class ReportBatch {
 public:
  // About 200 messages of a listing: a write of this size costs the host link little more than a small one.
  static constexpr size_t kFlushBytes = 64 * 1024;

  explicit ReportBatch(ZEBReportSink& sink) : sink_(sink) {}
  ~ReportBatch() { Flush(); }
  ReportBatch(const ReportBatch&) = delete;
  ReportBatch& operator=(const ReportBatch&) = delete;

  void Add(const bas::IPCPacketHeader& header, const TaskReport& report);
  // Sends what has been added; nothing when nothing waits.
  void Flush();

 private:
  ZEBReportSink& sink_;
  std::string packets_;
  std::string scratch_;  // a report's compressed data, reused
};
