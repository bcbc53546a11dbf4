// Command 702: a device file streamed to the host in 4 MiB chunks, one report each, until its end.
#include <glog/logging.h>

#include "utility/module/front_door.h"
#include "utility/start_params.h"
#include "utility/module/file/file_internal.h"
#include "utility/module/file/zeb_module_file.h"
#include "utility/zeb_utility.h"

int ZEBModuleFile::Download(ZEBCommand& command) {
  std::string uuid;
  if (FindTransfer(command.task(), &uuid)) {
    // A packet of a stream under way: a non-zero "code" is the host giving it up; anything else has nothing to act
    // on, and the stream goes on.
    if (file::JsonInteger(command.json(), "code", 0) != 0) return kResultAborted;
    LOG(INFO) << "A download packet of task " << command.packet().task_id << " that starts nothing was dropped";
    command.Continue();
    return ZEBCommand::kContinue;
  }
  if (file::JsonInteger(command.json(), "stage", 1) != 1) {
    LOG(ERROR) << "A download packet of task " << command.packet().task_id << " starts nothing and has no stream";
    return protocol::kResultBadTransfer;
  }
  if (!command.device()) return protocol::kResultNoDevice;
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(*command.device(), kServiceAfc, &error, {}, true);
  if (!afc) return protocol::kResultNoFileService;
  const rapidjson::Value* info = command.info();
  std::string path = info != nullptr ? JsonText(*info, "path") : std::string();
  std::shared_ptr<file::DownloadStream> stream = file::DownloadStream::Open(afc, path);
  if (!stream) {
    LOG(ERROR) << "Cannot download " << path << ": not a readable file";
    return protocol::kResultIoFailed;
  }
  Keep(command, stream);
  return SendChunk(command.task(), command.uuid(), stream, &command.result_info);
}

// Sends the next chunk and leaves the one after it to a later run of the task, so that the host's packets that
// arrived meanwhile (a stop) are seen between chunks; the last run sends the final report's info.
int ZEBModuleFile::SendChunk(const bas::KxTaskPtr& task, const std::string& uuid,
                             const std::shared_ptr<file::DownloadStream>& stream, std::string* final_info) {
  if (stream->finished()) {
    *final_info = "{\"path\":" + JsonQuote(stream->path()) + ",\"size\":" + std::to_string(stream->size()) + "}";
    return kResultOk;
  }
  int64_t offset = stream->offset();
  std::string_view chunk;
  if (!stream->ReadChunk(&chunk)) return protocol::kResultIoFailed;
  LOG(INFO) << "DoDownloadNewMode->readerData " << offset << " " << chunk.size();
  TaskReport report;
  report.stage = 2;
  report.uuid = uuid;
  report.info = "{\"offset\":" + std::to_string(offset) + ",\"offset_length\":" + std::to_string(chunk.size()) +
                ",\"size\":" + std::to_string(stream->size()) + "}";
  report.data = chunk;
  sink().SendReportToHost(
      bas::IPCPacketHeader{TaskIdNumber(task->GetTaskId()), protocol::kTypeFileDownload, protocol::kHeaderProgress, 0},
      report);
  front_door::Resume(task, sink(), [this, task, uuid, stream](std::string* info) {
    return SendChunk(task, uuid, stream, info);
  });
  return ZEBCommand::kContinue;
}
