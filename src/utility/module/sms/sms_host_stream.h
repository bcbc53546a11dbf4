// SmsHostStream: turns the streamed messages query into the host's progress reports.
//
// Every report carries the command's device identifier as uuid, report code 0 and the info {"Count":N}, N the
// number of conversations: stage 1 without data, stage 2 with one conversation (without its messages) and stage 3
// with one message as data (type 0, so the report path compresses them). Before each report the command's task is
// checked: once it has been stopped, nothing more is sent and the stream is told to end.
//
// Thread safety: used by the one thread that runs the command.
#pragma once

#include <functional>
#include <string>

#include "libbasic/kx_task.h"
#include "utility/module/sms/sms_stream.h"
#include "utility/task_report.h"

class SmsHostStream : public SmsReportSink {
 public:
  using Send = std::function<void(const TaskReport& report)>;

  SmsHostStream(std::string uuid, bas::KxTaskPtr task, Send send);

  bool OnCount(size_t conversations) override;
  bool OnConversation(std::string_view json) override;
  bool OnMessage(std::string_view json) override;

  // The number of conversations announced (0 before the count report).
  size_t announced() const { return announced_; }

 private:
  bool SendStage(int stage, std::string_view data);

  bas::KxTaskPtr task_;
  Send send_;
  TaskReport report_;  // reused: only stage and data change between reports
  size_t announced_ = 0;
};
