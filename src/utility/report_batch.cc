#include "utility/report_batch.h"

void ReportBatch::Add(const bas::IPCPacketHeader& header, const TaskReport& report) {
  AppendReportPacket(header, report, &packets_, &scratch_);
  if (packets_.size() >= kFlushBytes) Flush();
}

void ReportBatch::Flush() {
  if (packets_.empty()) return;
  sink_.SendPacketsToHost(packets_);
  packets_.clear();  // keeps its capacity for the next burst
}
