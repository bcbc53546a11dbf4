#include "utility/module/media/media_reports.h"

#include "utility/listing/listing_reporter.h"
#include "utility/protocol_codes.h"

namespace media {

void MediaSender::Send(uint32_t type, const TaskReport& report) const {
  command_.sink().SendReportToHost(
      bas::IPCPacketHeader{command_.packet().task_id, type, protocol::kHeaderProgress, 0}, report);
}

void MediaSender::SendCount(uint32_t type, const std::string& info) const {
  TaskReport report;
  report.stage = 1;
  report.uuid = command_.uuid();
  report.info = info;
  Send(type, report);
}

void MediaSender::SendItems(uint32_t type, const std::string& data) const {
  TaskReport report;
  report.stage = 2;
  report.uuid = command_.uuid();
  report.data = data;
  Send(type, report);
}

}  // namespace media
