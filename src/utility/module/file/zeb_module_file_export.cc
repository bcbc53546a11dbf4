// Command 701: device items exported to local files.
#include <glog/logging.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <system_error>

#include "libbasic/kx_task_schedular.h"
#include "utility/ios/zeb_device_monitor.h"
#include "utility/module/command_payload.h"
#include "utility/module/file/file_internal.h"
#include "utility/module/file/zeb_module_file.h"
#include "utility/process_context.h"
#include "utility/zeb_utility.h"

namespace {

// The first text member of an item's object is its device path.
std::string ItemPath(const rapidjson::Value& item) {
  if (!item.IsObject()) return std::string();
  for (auto member = item.MemberBegin(); member != item.MemberEnd(); ++member) {
    if (member->value.IsString()) return std::string(member->value.GetString(), member->value.GetStringLength());
  }
  return std::string();
}

// Where a book folder is copied before it is packed: the process folder, or the target folder when there is none.
std::string ScratchFolder(uint64_t task_id, const std::string& target) {
  static std::atomic<uint64_t> counter{0};
  std::string folder = ProcessContext::Get().ProcessFolder(true);
  if (folder.empty()) folder = target + "/.";
  return folder + "export-" + std::to_string(task_id) + "-" + std::to_string(++counter);
}

}  // namespace

int ZEBModuleFile::Export(const bas::IPCPacket& packet, const rapidjson::Document& command, std::string_view arguments,
                          const bas::KxTaskPtr& task) {
  std::string uuid = JsonText(command, "uuid");
  ZEBDeviceConnectionPtr connection = ZEBDeviceMonitor::Get().FindConnection(uuid);
  if (!connection) return ReportResult(packet, uuid, file::kResultNoDevice, "");
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(connection->device, kServiceAfc, &error, {}, true);
  if (!afc) return ReportResult(packet, uuid, file::kResultNoAfc, "");

  while (!arguments.empty() && arguments.back() == '\0') arguments.remove_suffix(1);
  rapidjson::Document items;
  if (!ParseJsonObject(arguments, &items)) return ReportResult(packet, uuid, file::kResultBadJson, "");
  std::string target = JsonText(command, "native_dir");
  if (target.empty()) target = ProcessContext::Get().work_folder() + "/Export";
  std::error_code made;
  std::filesystem::create_directories(target, made);
  if (made || !std::filesystem::is_directory(target)) {
    LOG(ERROR) << "Cannot export into " << target;
    return ReportResult(packet, uuid, file::kResultIoFailed, "");
  }

  std::set<std::string> taken;  // local names given to this export's items
  for (auto item = items.MemberBegin(); item != items.MemberEnd(); ++item) {
    std::string path = ItemPath(item->value);
    if (path.empty()) continue;
    if (task && task->GetStatus() == bas::KxTaskStatus::kAborted) return ReportResult(packet, uuid, kResultAborted, "");
    file::ExportedItem exported;
    if (!file::ExportItem(afc->afcConnection, path, target, ScratchFolder(packet.task_id, target), &taken, &exported)) {
      continue;
    }
    TaskReport report;
    report.stage = 2;
    report.uuid = uuid;
    report.info = "{\"native_path\":" + JsonQuote(exported.native_path) + ",\"name\":" + JsonQuote(exported.name) + "}";
    SendProgress(packet, report);
  }
  return ReportResult(packet, uuid, kResultOk, "");
}
