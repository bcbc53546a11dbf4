// Command 702: a device file streamed to the host in 4 MiB chunks, one report each, until its end.
#include <glog/logging.h>

#include "utility/ios/zeb_device_monitor.h"
#include "utility/module/command_payload.h"
#include "utility/module/file/file_internal.h"
#include "utility/module/file/zeb_module_file.h"
#include "utility/zeb_utility.h"

int ZEBModuleFile::Download(const bas::IPCPacket& packet, const rapidjson::Document& command,
                            const bas::KxTaskPtr& task) {
  std::string uuid = JsonText(command, "uuid");
  // The whole file goes out in the run of the starting packet, which also sends the one final report; a later
  // packet of the task (queued behind that run, or arriving after it) has nothing to act on and gets no answer.
  if (file::JsonInteger(command, "stage", 1) != 1) {
    LOG(INFO) << "A download packet of task " << packet.task_id << " that starts nothing was dropped";
    return 0;
  }

  ZEBDeviceConnectionPtr connection = ZEBDeviceMonitor::Get().FindConnection(uuid);
  if (!connection) return Finish(packet, task, uuid, file::kResultNoDevice);
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(connection->device, kServiceAfc, &error, {}, true);
  if (!afc) return Finish(packet, task, uuid, file::kResultNoAfc);
  std::string path;
  auto info = command.FindMember("info");
  if (info != command.MemberEnd()) path = JsonText(info->value, "path");
  std::shared_ptr<file::DownloadStream> stream = file::DownloadStream::Open(afc, path);
  if (!stream) {
    LOG(ERROR) << "Cannot download " << path << ": not a readable file";
    return Finish(packet, task, uuid, file::kResultIoFailed);
  }
  Keep(task, uuid, packet.type, stream);
  return SendChunk(packet, uuid, *stream, task);
}

int ZEBModuleFile::SendChunk(const bas::IPCPacket& packet, const std::string& uuid, file::DownloadStream& stream,
                             const bas::KxTaskPtr& task) {
  while (!stream.finished()) {
    // A stop request (600) marks the task while it streams; it ends between two chunks.
    if (task->GetStatus() == bas::KxTaskStatus::kAborted) return Finish(packet, task, uuid, kResultAborted);
    int64_t offset = stream.offset();
    std::string_view chunk;
    if (!stream.ReadChunk(&chunk)) return Finish(packet, task, uuid, file::kResultIoFailed);
    LOG(INFO) << "DoDownloadNewMode->readerData " << offset << " " << chunk.size();
    TaskReport report;
    report.stage = 2;
    report.uuid = uuid;
    report.info = "{\"offset\":" + std::to_string(offset) + ",\"offset_length\":" + std::to_string(chunk.size()) +
                  ",\"size\":" + std::to_string(stream.size()) + "}";
    report.data = chunk;
    SendProgress(packet, report);
  }
  return Finish(packet, task, uuid, kResultOk,
                "{\"path\":" + JsonQuote(stream.path()) + ",\"size\":" + std::to_string(stream.size()) + "}");
}
