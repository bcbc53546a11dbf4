// A stand-in for Corvane in the corvane-host tests: it reads the port and task id from its start parameters,
// connects, sends a start report (type 19) and, joined to a heartbeat, the device-monitor report (type 9), and then
// answers every command:
//   - JSON with "fail" in it: a final report with header code 6 and code 21;
//   - otherwise: a progress report (type 1) whose data are the command's JSON text, a progress report (type 0) with
//     four binary bytes, and a final report with header code 1 whose info tells the marker and the data size.
// With FAKE_CORVANE_SILENT set it connects and sends nothing. It ends when the host closes the connection.
#include <rapidjson/document.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "fake_peer.h"

namespace {

using hostlink::testing::EncodeReport;

void Answer(hostlink::testing::FakePeer& peer, const hostlink::Packet& command) {
  const std::string& payload = command.payload;
  size_t marker_end = payload.find('\0');
  size_t json_end = payload.find('\0', marker_end + 1);
  std::string marker = payload.substr(0, marker_end);
  std::string json = payload.substr(marker_end + 1, json_end - marker_end - 1);
  size_t data_size = payload.size() - json_end - 1;
  uint64_t task = command.header.task_id;
  uint32_t type = command.header.packet_type;
  if (json.find("fail") != std::string::npos) {
    peer.Write(EncodeReport(task, type, hostlink::kCodeFailure, 0, 21, "", 0));
    return;
  }
  peer.Write(EncodeReport(task, type, hostlink::kCodeProgress, 2, 0, "U1", 1, "", json));
  peer.Write(EncodeReport(task, type, hostlink::kCodeProgress, 2, 0, "U1", 0, "", std::string("\x00\xff\x01\xfe", 4)));
  std::string info = "{\"marker\":\"" + marker + "\",\"data_size\":" + std::to_string(data_size) + "}";
  peer.Write(EncodeReport(task, type, hostlink::kCodeSuccess, 0, 0, "U1", 0, info));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 64;
  rapidjson::Document params;
  params.Parse(argv[1]);
  if (params.HasParseError() || !params.IsObject() || !params.HasMember("kZEBServerStartParamPort")) return 65;
  uint16_t port = static_cast<uint16_t>(params["kZEBServerStartParamPort"].GetInt());
  auto task_member = params.FindMember("kZEBServerStartParamTaskId");
  std::string task_id = task_member != params.MemberEnd() ? task_member->value.GetString() : "0";

  hostlink::testing::FakePeer peer;
  if (!peer.Connect(port)) return 66;
  if (std::getenv("FAKE_CORVANE_SILENT") == nullptr) {
    std::string start_info = "{\"pid\":" + std::to_string(getpid()) + ",\"task_id\":\"" + task_id + "\"}";
    peer.Write(EncodeReport(std::stoull(task_id), 19, hostlink::kCodeSuccess, 0, 0, "", 0, start_info));
    peer.Write(std::string(hostlink::kHeartbeat) +
               EncodeReport(0, 9, hostlink::kCodeSuccess, 0, 0, "", 0, "{\"error_code\":9}"));
  }
  for (;;) {
    std::optional<hostlink::Packet> command = peer.ReadPacket(std::chrono::hours(1));
    if (!command) return 0;
    Answer(peer, *command);
  }
}
