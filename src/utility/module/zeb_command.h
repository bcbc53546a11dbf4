// ZEBCommand: one host command as the command front door hands it to a module's handler.
//
// The front door splits the payload (marker, NUL, JSON text, NUL, data part), parses the JSON text once, reads
// "uuid", keeps the scheduler task the client already holds and, when the command table row asks for one, finds
// the device. The handler does its work and returns a result code; the front door sends the one final report
// from it (with `result_info` as its info), or none when the handler returns kContinue (the command waits for
// more packets of its task) or kNoReport (the command's own protocol answers nothing).
//
// Thread safety: a command belongs to the pool worker that runs it; the progress sending may be called from any
// thread while the handler runs.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <rapidjson/document.h>

#include "basic/ipc_packet.h"
#include "libbasic/kx_task.h"
#include "utility/ios/zeb_device_connection.h"
#include "utility/command_payload.h"
#include "utility/report_sink.h"
#include "utility/task_meta_data.h"
#include "utility/task_report.h"

class ZEBCommand {
 public:
  // What a handler returns instead of a result code when no final report is to be sent now.
  static constexpr int kContinue = -1;  // the task waits for more packets (see Continue)
  static constexpr int kNoReport = -2;  // the command's protocol sends no final report

  ZEBCommand(std::shared_ptr<const bas::IPCPacket> packet, bas::KxTaskPtr task, ZEBReportSink& sink);

  const bas::IPCPacket& packet() const { return packet_; }
  uint32_t type() const { return packet_.type; }
  const bas::KxTaskPtr& task() const { return task_; }
  int marker() const { return marker_; }
  std::string_view json_text() const { return json_text_; }
  // The bytes after the JSON text's NUL; empty when there are none.
  std::string_view data() const { return data_; }
  // Keeps data() valid after the handler returned, for work that goes on with it in the background.
  std::shared_ptr<const void> data_owner() const { return owner_; }
  bool json_ok() const { return json_ok_; }
  // The parsed command object; an empty object when the text did not parse.
  const rapidjson::Document& json() const { return json_; }
  // The "info" member when it is an object, else null.
  const rapidjson::Value* info() const;

  // "uuid" as the host sent it ("" when absent); a handler may replace it with the device's own identifier.
  const std::string& uuid() const { return uuid_; }
  void set_uuid(std::string uuid);

  const ZEBDeviceConnectionPtr& device() const { return device_; }
  void set_device(ZEBDeviceConnectionPtr device) { device_ = std::move(device); }

  // True once the host stopped the task.
  bool Aborted() const;

  // Sends a progress or data report (header code 2) to every host connection. The report's uuid is the
  // command's unless the report names one.
  int SendProgress(const TaskReport& report) const;
  // The header of those reports, for a command that gathers them in a ReportBatch.
  bas::IPCPacketHeader ProgressHeader() const;
  ZEBReportSink& sink() const { return sink_; }

  // Keeps the task registered for its next packet. `release` runs when the task ends without a final report
  // (stopped while it waits, or idle for too long), before the front door answers 6, and also before any final
  // report sent from a later packet; so a transfer's files are closed before the host hears that it is over.
  // A later packet that continues the same transfer passes no `release`: the first one's stays.
  void Continue(std::function<void()> release = nullptr);
  // Marks the task given up after its final report: late packets of its id are dropped, not started anew.
  void GiveUpAfterReport() { give_up_ = true; }
  bool give_up() const { return give_up_; }

  // The info text of the final report ("" for none).
  std::string result_info;

 private:
  const std::shared_ptr<const bas::IPCPacket> owner_;
  const bas::IPCPacket& packet_;
  bas::KxTaskPtr task_;
  ZEBReportSink& sink_;
  int marker_ = 0;
  std::string_view json_text_;
  std::string_view data_;
  rapidjson::Document json_;
  bool json_ok_ = false;
  std::string uuid_;
  ZEBDeviceConnectionPtr device_;
  bool give_up_ = false;
};

