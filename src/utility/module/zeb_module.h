// ZEBModule: the base of every module that carries out host commands.
//
// A module is created once at start-up and entered in the command table under the packet types it owns. The
// command front door (front_door.h) calls its command handler on a pool worker with the command object of a host
// command (several at a time, also in the same module: shared module state needs the module's mutex). The handler
// returns the command's result code; the front door sends the one final report from it. Progress and data go out
// as reports with header code 2 through the command (ZEBCommand::SendProgress).
//
// The virtual operations keep a fixed order: destructor, hook A, command handler, hook B, child-packet handler.
// The final report, which older designs left to each module, is the front door's: a module cannot forget it or
// send two.
//
// Thread safety: the sink may be used from any thread; it serialises sending.
#pragma once

#include <cstdint>
#include <mutex>

#include "basic/ipc_packet.h"
#include "utility/module/zeb_command.h"
#include "utility/protocol_codes.h"
#include "utility/report_sink.h"

class ZEBModule {
 public:
  static constexpr int kResultOk = protocol::kResultOk;
  static constexpr int kResultAborted = protocol::kResultAborted;
  static constexpr int kResultBadJson = protocol::kResultBadJson;

  using NotificationCallback = int (*)(const void* argument, void* user, int kind);

  ZEBModule() = default;
  virtual ~ZEBModule() = default;
  ZEBModule(const ZEBModule&) = delete;
  ZEBModule& operator=(const ZEBModule&) = delete;

  // Hook A: tells the notification callback (if any) about `argument`; modules replace it with one that does
  // nothing.
  virtual int OnHook(const void* argument);
  // The command handler: runs one host command and returns its result code, ZEBCommand::kContinue or
  // ZEBCommand::kNoReport.
  virtual int OnCommand(ZEBCommand& command);
  // Hook B: does nothing.
  virtual int OnHookB();
  // Handles a packet that arrived from the elevated child helper; nothing by default.
  virtual int OnChildPacket(const bas::IPCPacket& packet);

  void SetNotificationCallback(NotificationCallback callback, void* user);
  // The sink the module's reports go to; set once by the command table at start-up.
  void AttachSink(ZEBReportSink* sink) { sink_ = sink; }

 protected:
  ZEBReportSink& sink() const { return *sink_; }

  std::mutex mutex_;  // for module state shared between commands

 private:
  NotificationCallback callback_ = nullptr;
  void* user_ = nullptr;
  ZEBReportSink* sink_ = nullptr;
};
