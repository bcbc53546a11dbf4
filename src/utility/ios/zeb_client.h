// ZEBClient: joins the host link to the modules.
//
// The client owns two packet channels: the host channel, which connects to the host, and the child channel, which
// listens for an elevated child helper started by this process. Every packet from the host becomes (or continues)
// a task of the scheduler keyed by its task id; the task's run looks the packet type up in the command table and
// hands the packet, with its task, to the command front door on a pool worker. The client is the modules' report
// sink: results and progress of the modules go out through it, as do the device events of the monitor and the
// start-up reports it builds itself.
//
// Thread safety: every member may be called from any thread. The client lock serialises broadcasts to all host
// (or child) connections and guards the queue of commands waiting for the child.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "basic/ipc_packet_channel.h"
#include "libbasic/kx_task.h"
#include "utility/ios/zeb_device_connection.h"
#include "utility/module/front_door.h"
#include "utility/child_link.h"
#include "utility/report_sink.h"
#include "utility/task_report.h"

class ZEBClient : public ZEBDeviceCallback, public ZEBReportSink, public ZEBChildLink {
 public:
  static ZEBClient& Get();

  // Connects the host channel to 127.0.0.1:port: up to 11 attempts, one second apart.
  bool ConnectToHost(uint16_t port);
  void SetCommandTable(CommandMap table);
  void Stop();

  // Intake of one packet (on a channel's consumer thread): -2 once the process is quitting, else 0.
  int HostIntake(bas::IPCPacketPtr packet);
  int ChildIntake(bas::IPCPacketPtr packet);

  // Sends a report on every host connection made by this process; 1 when there is none, else 0.
  int SendReportToHost(const bas::IPCPacketHeader& header, const TaskReport& report) override;
  // Sends a report on the host connection with this socket; false when it is gone.
  bool SendReportOnSocket(int socket, const bas::IPCPacketHeader& header, const TaskReport& report) override;
  int SendPacketsToHost(std::string_view packets) override;

  // The start-up reports.
  void SendMonitorStartReport(int result);
  void SendStartReport(bool connected, const std::string& task_id);

  // Device events and notices for the host, from the device monitor.
  void OnDeviceEvent(const ZEBDeviceConnectionPtr& connection, int event) override;
  void OnDeviceNotice(uint32_t device_number, int code) override;
  void OnConnectError(const ZEBDeviceConnectionPtr& connection, int code) override;

  // The elevated child helper.
  bool IsChildChannelIdle() const;
  // Listens for the child; the port goes into its start parameters. False when listening fails.
  bool StartChildChannel(uint16_t* port);
  void QueueChildCommand(const bas::IPCPacket& packet);
  bool SendToChild(const bas::IPCPacket& packet) override;
  Handover HandToChild(const bas::IPCPacket& packet, const std::function<bool(uint16_t port)>& launch) override;
  int RelayToHost(const bas::IPCPacket& packet) override;
  std::deque<bas::IPCPacket> ChildEnded() override;

 private:
  ZEBClient();

  void Intake(bas::IPCPacketPtr packet, bool from_child);
  void Handle(const std::shared_ptr<const bas::IPCPacket>& packet, const bas::KxTaskPtr& task, bool from_child);
  int OnChildNotice(const bas::IPCNotice& notice);
  bool NoticesSuppressed() const;

  bas::IPCPacketChannel host_channel_;
  bas::IPCPacketChannel child_channel_;

  mutable std::mutex mutex_;  // the client lock: guards child_queue_ and serialises broadcasts
  std::deque<bas::IPCPacket> child_queue_;
  uint16_t child_port_ = 0;     // guarded by mutex_; the child listener's port, 0 until it listens
  bool child_started_ = false;  // guarded by mutex_; a child was launched and has not connected yet

  std::mutex table_mutex_;  // guards table_ (filled once at start-up)
  CommandMap table_;
};
