// SmsHostStream: turns the streamed messages query into the host's progress reports.
//
// Every report carries the command's device identifier as uuid, report code 0 and the info {"Count":N}, N the
// number of conversations: stage 1 without data, stage 2 with one conversation (without its messages) and stage 3
// with one message as data (type 0, sent as zlib streams of stored blocks). Before each report the command's task is
// checked: once it has been stopped, nothing more is sent and the stream is told to end. The reports go into a
// ReportBatch, sent whenever it fills and whenever the stream pauses; the caller's batch sends the rest when it goes.
//
// Thread safety: used by the one thread that runs the command.
#pragma once

#include <string>

#include "libbasic/kx_task.h"
#include "utility/module/sms/sms_stream.h"
#include "utility/report_batch.h"
#include "utility/task_report.h"

class SmsHostStream : public SmsReportSink {
 public:
  SmsHostStream(std::string uuid, bas::KxTaskPtr task, const bas::IPCPacketHeader& header, ReportBatch* batch);

  bool OnCount(size_t conversations) override;
  bool OnConversation(std::string_view json) override;
  bool OnMessage(std::string_view json) override;
  void OnPause() override;

  // The number of conversations announced (0 before the count report).
  size_t announced() const { return announced_; }

 private:
  bool SendStage(int stage, std::string_view data);

  bas::KxTaskPtr task_;
  const bas::IPCPacketHeader header_;
  ReportBatch* batch_;
  TaskReport report_;  // reused: only stage and data change between reports
  size_t announced_ = 0;
};
