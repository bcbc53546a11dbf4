// ZEBReportSink: where modules send their reports. The client implements it and hands it to the command table at
// start-up, so that no module (and not the module framework) needs to know the client.
//
// Thread safety: implementations must accept calls from any thread; they serialise sending themselves.
#pragma once

#include <string_view>

#include "basic/ipc_packet.h"
#include "utility/task_report.h"

class ZEBReportSink {
 public:
  virtual ~ZEBReportSink() = default;
  // Sends a report on every host connection; 1 when there is none, else 0.
  virtual int SendReportToHost(const bas::IPCPacketHeader& header, const TaskReport& report) = 0;
  // Sends a report on the host connection with this socket; false when it is gone.
  virtual bool SendReportOnSocket(int socket, const bas::IPCPacketHeader& header, const TaskReport& report) = 0;
  // Sends whole packets, encoded back to back (AppendReportPacket), on every host connection in one write each;
  // 1 when there is none, else 0.
  virtual int SendPacketsToHost(std::string_view packets) = 0;
};
