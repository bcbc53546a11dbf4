// ZEBModule: the base of every module that carries out host commands.
//
// A module is created once at start-up and entered in the command table under the packet types it owns. The
// client calls its command handler on a pool worker with the packet of a host command (several at a time, also
// in the same module: shared module state needs the module's mutex). A handler parses the command and finishes
// it with exactly one ReportResult, except where a command's own protocol says otherwise (a command that expects
// more packets reports when it ends). Progress and data go out as reports with header code 2.
//
// The virtual operations keep a fixed order: destructor, hook A, command handler, hook B, child-packet handler,
// report result.
//
// Thread safety: ReportResult and SendProgress may be called from any thread; the client serialises sending.
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>

#include "basic/ipc_packet.h"
#include "utility/task_report.h"

class ZEBModule {
 public:
  // Header codes of reports to the host.
  static constexpr uint16_t kHeaderSuccess = 1;
  static constexpr uint16_t kHeaderProgress = 2;
  static constexpr uint16_t kHeaderAborted = 5;
  static constexpr uint16_t kHeaderFailure = 6;
  // Result codes the framework itself uses; the rest belong to the modules.
  static constexpr int kResultOk = 0;
  static constexpr int kResultAborted = 6;
  static constexpr int kResultBadJson = 21;

  using NotificationCallback = int (*)(const void* argument, void* user, int kind);

  ZEBModule() = default;
  virtual ~ZEBModule() = default;
  ZEBModule(const ZEBModule&) = delete;
  ZEBModule& operator=(const ZEBModule&) = delete;

  // Hook A: tells the notification callback (if any) about `argument`; modules replace it with one that does
  // nothing.
  virtual int OnHook(const void* argument);
  // The command handler: runs one host command.
  virtual int OnCommand(const bas::IPCPacket& packet);
  // Hook B: does nothing.
  virtual int OnHookB();
  // Handles a packet that arrived from the elevated child helper; nothing by default.
  virtual int OnChildPacket(const bas::IPCPacket& packet);
  // Sends the command's final report: header code 1 for result 0, 5 for result 6, 6 otherwise; stage 0, type 0.
  virtual int ReportResult(const bas::IPCPacket& packet, std::string_view uuid, int code, std::string_view info) final;

  void SetNotificationCallback(NotificationCallback callback, void* user);

  static uint16_t HeaderCodeFor(int result);

 protected:
  // Sends a progress or data report (header code 2) for the command of `packet` to every host connection.
  int SendProgress(const bas::IPCPacket& packet, const TaskReport& report);

  std::mutex mutex_;  // for module state shared between commands

 private:
  NotificationCallback callback_ = nullptr;
  void* user_ = nullptr;
};
