// The command front door: the one road from a host packet to a module's handler and back to the host.
//
// For each packet the client hands over (with the scheduler task it already holds), the front door builds the
// command object, answers what is generic for the packet type as its command table row says (the marker, an
// unreadable command JSON, a missing device, a packet that reaches a stopped task), calls the module's handler
// and sends the one final report from the code the handler returns. It also finishes a task that waited for more
// packets and ended without its final report (stopped while idle, or idle for too long): such a task gets the
// report of code 6, so every accepted task finishes exactly once.
//
// Thread safety: every function may be called from any pool worker; a task's runs never overlap.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "basic/ipc_packet.h"
#include "libbasic/kx_task.h"
#include "utility/module/command_policy.h"
#include "utility/report_sink.h"

class ZEBModule;

struct CommandEntry {
  ZEBModule* module = nullptr;
  CommandPolicy policy;
};

using CommandMap = std::map<uint32_t, CommandEntry>;

namespace front_door {

// Runs one host command through its module. The packet is shared so that a module may keep its data part for
// work that outlasts the handler (ZEBCommand::data_owner).
void Dispatch(const CommandEntry& entry, const std::shared_ptr<const bas::IPCPacket>& shared_packet,
              const bas::KxTaskPtr& task, ZEBReportSink& sink);

// The scheduler ended a task that was waiting for its next packet.
void OnTaskEnded(const bas::KxTaskPtr& task, ZEBReportSink& sink);

// One more step of a command, run on its task after the packets that arrived meanwhile (a stream that goes on
// chunk by chunk, so that the host's later packets are seen between chunks). The step returns a result code,
// ZEBCommand::kContinue or ZEBCommand::kNoReport, as a handler does, and may set the final report's info text.
using ResumeStep = std::function<int(std::string* info)>;
void Resume(const bas::KxTaskPtr& task, ZEBReportSink& sink, ResumeStep step);

// Sends a command's final report: header code 1 for result 0, 5 for result 6, 6 otherwise; stage 0, type 0.
int SendFinalReport(ZEBReportSink& sink, uint64_t task_id, uint32_t type, const std::string& uuid, int code,
                    const std::string& info);

uint16_t HeaderCodeFor(int result);

}  // namespace front_door
