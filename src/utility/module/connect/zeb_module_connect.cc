#include "utility/module/connect/zeb_module_connect.h"

#include <glog/logging.h>

#include "utility/command_payload.h"
#include "utility/module/connect/connect_internal.h"
#include "utility/process_context.h"

namespace {
constexpr int kElevatedHelper = 2;
}

int ZEBModuleConnect::OnCommand(ZEBCommand& command) {
  switch (command.type()) {
    case protocol::kTypeStartMonitor: return RunStartMonitor(command);
    case protocol::kTypeDriverDownload: return RunDriverDownload(command);
    default: break;
  }
  if (ProcessContext::Get().params().helper_type == kElevatedHelper) {
    return command.type() == protocol::kTypeDriverInstall ? RunDriverInstall(command) : RunStoreEditionCheck(command);
  }
  ZEBChildLink* link = link_.load();
  if (link == nullptr) return kConnectNoListener;
  return ForwardToElevatedCopy(command, *link);
}

int ZEBModuleConnect::OnChildPacket(const bas::IPCPacket& packet) {
  CommandPayload parts = SplitCommandPayload(packet.payload);
  rapidjson::Document report;
  if (!ParseJsonObject(parts.json, &report)) {
    LOG(ERROR) << "Error Data: " << packet.payload;
    return protocol::kResultBadArguments;
  }
  auto code = report.FindMember("code");
  LOG(INFO) << "commandType: " << packet.type << " :" << packet.code << " :"
            << (code != report.MemberEnd() && code->value.IsInt64() ? code->value.GetInt64() : 0);
  ZEBChildLink* link = link_.load();
  return link != nullptr ? link->RelayToHost(packet) : 1;
}
