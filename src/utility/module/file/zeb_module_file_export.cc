// Command 701: device items exported to local files.
#include <glog/logging.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <system_error>

#include "utility/command_payload.h"
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

int ZEBModuleFile::Export(ZEBCommand& command) {
  const std::string& uuid = command.uuid();
  if (!command.device()) return protocol::kResultNoDevice;
  int error = 0;
  ZEBDeviceServicePtr afc = StartService(*command.device(), kServiceAfc, &error, {}, true);
  if (!afc) return protocol::kResultNoFileService;

  std::string_view arguments = command.data();
  while (!arguments.empty() && arguments.back() == '\0') arguments.remove_suffix(1);
  rapidjson::Document items;
  if (!ParseJsonObject(arguments, &items)) return protocol::kResultBadArguments;
  std::string target = JsonText(command.json(), "native_dir");
  if (target.empty()) target = ProcessContext::Get().work_folder() + "/Export";
  std::error_code made;
  std::filesystem::create_directories(target, made);
  if (made || !std::filesystem::is_directory(target)) {
    LOG(ERROR) << "Cannot export into " << target;
    return protocol::kResultIoFailed;
  }

  std::set<std::string> taken;  // local names given to this export's items
  for (auto item = items.MemberBegin(); item != items.MemberEnd(); ++item) {
    std::string path = ItemPath(item->value);
    if (path.empty()) continue;
    if (command.Aborted()) return kResultAborted;
    file::ExportedItem exported;
    if (!file::ExportItem(*afc, path, target, ScratchFolder(command.packet().task_id, target), &taken,
                          &exported)) {
      continue;
    }
    TaskReport report;
    report.stage = 2;
    report.uuid = uuid;
    report.info = "{\"native_path\":" + JsonQuote(exported.native_path) + ",\"name\":" + JsonQuote(exported.name) + "}";
    command.SendProgress(report);
  }
  return kResultOk;
}
