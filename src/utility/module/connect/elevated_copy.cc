// 17 and 18 in a normal instance: handed to the elevated copy of this program, started on first need.
#include <glog/logging.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "platform/elevation.h"
#include "platform/platform.h"
#include "utility/module/connect/connect_internal.h"
#include "utility/module/front_door.h"
#include "utility/process_context.h"

namespace {

constexpr int kElevatedHelper = 2;

// The copy's start parameters: it reports to this process's child listener and lives as long as this process.
std::string StartParameters(uint16_t port, uint64_t task_id) {
  const StartParams& own = ProcessContext::Get().params();
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  auto text = [&writer](const char* key, const std::string& value) {
    writer.Key(key);
    writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
  };
  writer.StartObject();
  writer.Key("kZEBServerStartParamPid");
  writer.Int64(platform::CurrentProcessId());
  writer.Key("kZEBServerStartParamShowConsole");
  writer.Int(0);
  writer.Key("kZEBServerStartParamPort");
  writer.Int(port);
  writer.Key("kZEBServerStartParamTestSelf");
  writer.Int(0);
  writer.Key("kZEBServerStartParamOpenLog");
  writer.Int(1);
  writer.Key("kZEBServerStartParamType");
  writer.Int(kElevatedHelper);
  text("kZEBServerStartParamTaskId", std::to_string(task_id));
  text("kZEBServerStartParamVersion", own.version);
  text("kZEBServerStartParamBrand", own.brand);
  text("kZEBServerStartParamProduct", own.product);
  writer.Key("kZEBServerStartParamLoadModules");
  writer.StartArray();
  writer.EndArray();
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

// The command as the copy gets it: a task report built from the host's "type", "stage", "info" and "code".
bas::IPCPacket CommandForCopy(const ZEBCommand& command) {
  const rapidjson::Value& json = command.json();
  auto integer = [&json](const char* key) -> int64_t {
    auto it = json.FindMember(key);
    return it != json.MemberEnd() && it->value.IsInt64() ? it->value.GetInt64() : 0;
  };
  TaskReport report;
  report.type = static_cast<int>(integer("type"));
  report.stage = static_cast<int>(integer("stage"));
  report.code = integer("code");
  report.uuid = command.uuid();
  auto info = json.FindMember("info");
  if (info != json.MemberEnd()) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    info->value.Accept(writer);
    report.info.assign(buffer.GetString(), buffer.GetSize());
  }
  bas::IPCPacket packet;
  packet.task_id = command.packet().task_id;
  packet.type = command.type();
  packet.code = command.packet().code;
  packet.payload = BuildReportText(report);
  return packet;
}

// The copy (or the launcher whose user refused) has ended: commands that waited for it will never run.
void AnswerCommandsLeftWaiting(ZEBChildLink& link, ZEBReportSink& sink, int status) {
  LOG(INFO) << "The elevated copy ended with " << status;
  for (const bas::IPCPacket& packet : link.ChildEnded()) {
    front_door::SendFinalReport(sink, packet.task_id, packet.type, "", kConnectLaunchFailed, "");
  }
}

}  // namespace

int ForwardToElevatedCopy(ZEBCommand& command, ZEBChildLink& link) {
  uint64_t task_id = command.packet().task_id;
  // The link and the sink are the client's, which lives as long as the process; the copy may end much later.
  ZEBChildLink* link_ptr = &link;
  ZEBReportSink* sink = &command.sink();
  auto launch = [task_id, link_ptr, sink](uint16_t port) {
    auto ended = [link_ptr, sink](int status) { AnswerCommandsLeftWaiting(*link_ptr, *sink, status); };
    bool started = platform::LaunchElevated(platform::ExecutablePath(), {StartParameters(port, task_id)}, ended);
    LOG(INFO) << "Elevated copy for task " << task_id << (started ? " started" : " could not start");
    return started;
  };
  switch (link.HandToChild(command.packet(), launch)) {
    case ZEBChildLink::Handover::kListenFailed: return kConnectNoListener;
    case ZEBChildLink::Handover::kLaunchFailed: return kConnectLaunchFailed;
    case ZEBChildLink::Handover::kQueued: return ZEBCommand::kNoReport;
    case ZEBChildLink::Handover::kChildConnected: break;
  }
  if (!command.json_ok()) return kConnectForwardBadJson;
  if (!link.SendToChild(CommandForCopy(command))) {
    LOG(ERROR) << "The elevated copy is gone; task " << task_id;
    return kConnectLaunchFailed;
  }
  return ZEBCommand::kNoReport;
}
