// 16: the driver packages fetched into the work folder's driver folder.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "platform/platform.h"
#include "utility/command_payload.h"
#include "utility/module/connect/connect_internal.h"
#include "utility/module/connect/driver_download.h"
#include "utility/process_context.h"

namespace {

constexpr uint16_t kHeaderDriverList = 3;  // the download's answer has a header code of its own
constexpr int64_t kMaxPackageBytes = int64_t{1} << 30;
constexpr long kPackageTimeoutMs = 60L * 60 * 1000;  // a slow line may take long; the stall limit guards it

std::string DriverFolder() {
  std::string folder = ProcessContext::Get().work_folder() + "/ios_driver/";
  platform::CreateDirectories(folder);
  return folder;
}

std::string JsonArray(const std::vector<std::string>& texts) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartArray();
  for (const std::string& text : texts) writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  writer.EndArray();
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace

int RunDriverDownload(ZEBCommand& command) {
  const rapidjson::Value* info = command.info();
  DriverDownload request;
  request.base_url = info != nullptr ? JsonText(*info, "url") : std::string();
  request.folder = DriverFolder();
  request.package_limits.max_bytes = kMaxPackageBytes;
  request.package_limits.timeout_ms = kPackageTimeoutMs;
  request.aborted = [&command] { return command.Aborted(); };
  request.progress = [&command](const DriverProgress& p) {
    TaskReport report;
    report.stage = 2;
    report.info = "{\"total\":" + std::to_string(p.total) + ",\"step\":" + std::to_string(p.step) +
                  ",\"index\":" + std::to_string(p.index) + ",\"count\":" + std::to_string(p.count) + "}";
    command.SendProgress(report);
  };
  std::vector<std::string> verified = DownloadDriverPackages(request);
  TaskReport report;
  report.uuid = command.uuid();
  report.info = JsonArray(verified);
  command.sink().SendReportToHost(
      bas::IPCPacketHeader{command.packet().task_id, command.type(), kHeaderDriverList, 0}, report);
  return ZEBCommand::kNoReport;
}
